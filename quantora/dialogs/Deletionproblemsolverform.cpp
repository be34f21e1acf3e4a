// The deletion-problem solver dialog, 557 by 408.
#include "quantora/dialogs/Deletionproblemsolverform.h"

#include <algorithm>
#include <array>

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "quantora/dialogs/Icons.h"
#include "quantora/frame/DeletionInfo.h"

namespace {

const char* StateText(unsigned char state) {
    switch (state) {
        case Solved:
            return "Solved";
        case Resolvable:
            return "Resolvable";
        case NotResolvable:
            return "Not resolvable";
        default:
            return "<unknown>";
    }
}

QLabel* CentredText(const char* text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

}  // namespace

TFormDeletionProblemSolver::TFormDeletionProblemSolver(QWidget* owner) : QDialog(owner) {
    setObjectName("FormDeletionProblemSolver");
    setWindowTitle("Deletion problems");
    resize(557, 408);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    HeaderLabel = new QLabel("     Please resolve the following deletion problems:", this);
    HeaderLabel->setObjectName("HeaderLabel");
    HeaderLabel->setFixedHeight(27);
    layout->addWidget(HeaderLabel);

    ProblemGrid = new QTableWidget(1, 3, this);
    ProblemGrid->setObjectName("ProblemGrid");
    // The fixed header row is the table's own header, so it stays in view when the rows
    // scroll; model row 0 stands for it and stays hidden, keeping problem i in row i + 1.
    ProblemGrid->setHorizontalHeaderLabels({"No.", "State", "Problem"});
    ProblemGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ProblemGrid->horizontalHeader()->setStretchLastSection(true);
    ProblemGrid->verticalHeader()->hide();
    ProblemGrid->setWordWrap(false);
    ProblemGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    ProblemGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    ProblemGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ProblemGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    for (int col = 0; col < 3; ++col)
        ProblemGrid->setColumnWidth(col, std::array{40, 93, 383}[col]);
    layout->addWidget(ProblemGrid, 1);

    SolverNotebook = new QStackedWidget(this);
    SolverNotebook->setObjectName("SolverNotebook");
    SolverNotebook->setFixedHeight(65);
    auto page = [this](const char* name) {
        auto* w = new QWidget(SolverNotebook);
        w->setObjectName(name);
        SolverNotebook->addWidget(w);
        return w;
    };
    page("Unknown");
    QWidget* solved = page("Solved");
    (new QVBoxLayout(solved))->addWidget(CentredText("Problem is solved.", solved));
    QWidget* solvable = page("Solvable");
    auto* solvableLayout = new QHBoxLayout(solvable);
    solvableLayout->addWidget(new QLabel("Possible solutions:", solvable));
    SolutionComboBox = new QComboBox(solvable);
    SolutionComboBox->setObjectName("SolutionComboBox");
    solvableLayout->addWidget(SolutionComboBox, 1);
    SpeedButton1 = new QToolButton(solvable);
    SpeedButton1->setObjectName("SpeedButton1");
    SpeedButton1->setText("&Solve");
    SpeedButton1->setToolTip("Solve current deletion problem with this solution");
    SpeedButton1->setIcon(quantora::dialogs::SymbolIcon(quantora::dialogs::Symbol::Tick));
    SpeedButton1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    solvableLayout->addWidget(SpeedButton1);
    QWidget* notSolvable = page("NotSolvable");
    (new QVBoxLayout(notSolvable))
        ->addWidget(CentredText("This problem may not be resolved from here. Press Cancel to "
                                "return to the previous module.",
                                notSolvable));
    layout->addWidget(SolverNotebook);

    auto* buttons = new QWidget(this);
    buttons->setFixedHeight(41);
    auto* buttonLayout = new QHBoxLayout(buttons);
    buttonLayout->addStretch();
    OkButton = new QPushButton("OK", buttons);
    OkButton->setObjectName("OkButton");
    OkButton->setEnabled(false);
    CancelButton = new QPushButton("Cancel", buttons);
    CancelButton->setObjectName("CancelButton");
    buttonLayout->addWidget(OkButton);
    buttonLayout->addWidget(CancelButton);
    layout->addWidget(buttons);

    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(ProblemGrid, &QTableWidget::currentCellChanged, this,
            [this](int row, int col, int, int) {
                if (row < 1) return;  // the fixed header row is never selected
                bool canSelect = true;
                ProblemGridSelectCell(ProblemGrid, col, row, canSelect);
            });
}

void TFormDeletionProblemSolver::RefreshGrid() {
    UnresolvedCount = 0;
    const int n = DeletionInfo ? static_cast<int>(DeletionInfo->Problems.size()) : 0;
    ProblemGrid->clearContents();
    ProblemGrid->setRowCount(n + 1);
    for (int i = 0; i < n; ++i) {
        const DeletionProblem& p = DeletionInfo->Problems[static_cast<size_t>(i)];
        const QString cells[3] = {
            QString::number(i + 1), StateText(p.State),
            QString::fromLocal8Bit(p.Description.data(),
                                   static_cast<qsizetype>(p.Description.size()))};
        for (int col = 0; col < 3; ++col)
            ProblemGrid->setItem(i + 1, col, new QTableWidgetItem(cells[col]));
        if (p.State == Resolvable || p.State == NotResolvable) ++UnresolvedCount;
    }
    ProblemGrid->setRowHidden(0, true);
    // The state column is at least as wide as its longest text, which never wraps.
    ProblemGrid->resizeColumnToContents(1);
    ProblemGrid->setColumnWidth(1, std::max(93, ProblemGrid->columnWidth(1)));
    // Like a string grid, the first problem row is the current one, matching the page below.
    if (n > 0) {
        const QSignalBlocker quiet(ProblemGrid);
        ProblemGrid->setCurrentCell(1, 1);
    }
    bool canSelect = true;
    ProblemGridSelectCell(ProblemGrid, 1, 1, canSelect);
    OkButton->setEnabled(UnresolvedCount == 0);
}

void TFormDeletionProblemSolver::FormShow() {
    RefreshGrid();
}

void TFormDeletionProblemSolver::ProblemGridSelectCell(QObject*, int, int row, bool& canSelect) {
    SolverNotebook->setCurrentIndex(UnknownPage);
    const int n = DeletionInfo ? static_cast<int>(DeletionInfo->Problems.size()) : 0;
    if (row >= 1 && row <= n) {
        switch (DeletionInfo->Problems[static_cast<size_t>(row - 1)].State) {
            case Solved:
                SolverNotebook->setCurrentIndex(SolvedPage);
                break;
            case Resolvable:
                SolverNotebook->setCurrentIndex(SolvablePage);
                break;
            case NotResolvable:
                SolverNotebook->setCurrentIndex(NotSolvablePage);
                break;
            default:
                break;
        }
    }
    canSelect = true;
}

void TFormDeletionProblemSolver::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}
