// Widgets and layouts of the selection dialogs.
#include "quantora/dialogs/DialogLayout.h"

#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <tuple>
#include <utility>

namespace quantora::dialogs {

namespace {

constexpr int kSelectedPartWidth = 262;

QPushButton* NewButton(const char* text, const char* objectName, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    return button;
}

QLabel* NewHeader(const char* text, const char* objectName, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    return label;
}

// A disabled "P&roperties..." button below a tree; it has no action.
QPushButton* NewPropertiesButton(const char* objectName, QWidget* parent) {
    QPushButton* button = NewButton("P&roperties...", objectName, parent);
    button->setEnabled(false);
    return button;
}

// OK and Cancel at the right of a bottom row.
std::pair<QPushButton*, QPushButton*> AddOkCancelRow(QDialog* form, QVBoxLayout* layout) {
    auto* row = new QHBoxLayout();
    row->addStretch();
    QPushButton* ok = NewButton("OK", "OKButton", form);
    ok->setDefault(true);
    QPushButton* cancel = NewButton("Cancel", "CancelButton", form);
    row->addWidget(ok);
    row->addWidget(cancel);
    layout->addLayout(row);
    QObject::connect(cancel, &QPushButton::clicked, form, &QDialog::reject);
    return {ok, cancel};
}

}  // namespace

QTreeWidget* NewSelectionTree(const char* objectName, QWidget* parent) {
    auto* tree = new QTreeWidget(parent);
    tree->setObjectName(objectName);
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setIconSize(QSize(16, 16));
    return tree;
}

TwoTreeWidgets BuildTwoTreeLayout(QDialog* form, const char* availableHeader,
                                  const char* selectedHeader) {
    TwoTreeWidgets w{};
    auto* outer = new QVBoxLayout(form);
    w.Splitter = new QSplitter(Qt::Horizontal, form);
    w.Splitter->setObjectName("Splitter");
    w.Splitter->setChildrenCollapsible(false);

    auto* left = new QWidget(w.Splitter);
    auto* leftLayout = new QHBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    auto* availColumn = new QVBoxLayout();
    w.AvailableHeader = NewHeader(availableHeader, "AvailableHeader", left);
    w.AvailableTree = NewSelectionTree("AvailableTree", left);
    w.AvailPropertiesButton = NewPropertiesButton("AvailPropertiesButton", left);
    availColumn->addWidget(w.AvailableHeader);
    availColumn->addWidget(w.AvailableTree, 1);
    availColumn->addWidget(w.AvailPropertiesButton, 0, Qt::AlignLeft);
    leftLayout->addLayout(availColumn, 1);
    auto* moveColumn = new QVBoxLayout();
    w.AddButton = NewButton("->", "AddButton", left);
    w.RemoveButton = NewButton("<-", "RemoveButton", left);
    w.AddButton->setToolTip("Add the selected item to the selection");
    w.RemoveButton->setToolTip("Remove the selected item from the selection");
    for (QPushButton* b : {w.AddButton, w.RemoveButton}) b->setFixedWidth(40);
    moveColumn->addStretch();
    moveColumn->addWidget(w.AddButton);
    moveColumn->addWidget(w.RemoveButton);
    moveColumn->addStretch();
    leftLayout->addLayout(moveColumn);

    auto* right = new QWidget(w.Splitter);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    w.SelectedHeader = NewHeader(selectedHeader, "SelectedHeader", right);
    w.SelectedTree = NewSelectionTree("SelectedTree", right);
    w.SelPropertiesButton = NewPropertiesButton("SelPropertiesButton", right);
    rightLayout->addWidget(w.SelectedHeader);
    rightLayout->addWidget(w.SelectedTree, 1);
    rightLayout->addWidget(w.SelPropertiesButton, 0, Qt::AlignLeft);

    w.Splitter->addWidget(left);
    w.Splitter->addWidget(right);
    w.Splitter->setStretchFactor(0, 1);
    w.Splitter->setStretchFactor(1, 0);
    w.Splitter->setSizes({form->width() - kSelectedPartWidth, kSelectedPartWidth});
    outer->addWidget(w.Splitter, 1);

    std::tie(w.OKButton, w.CancelButton) = AddOkCancelRow(form, outer);
    return w;
}

OneTreeWidgets BuildOneTreeLayout(QDialog* form, const char* header, const char* groupBoxTitle) {
    OneTreeWidgets w{};
    auto* outer = new QVBoxLayout(form);
    w.Header = NewHeader(header, "AvailableHeader", form);
    outer->addWidget(w.Header);
    if (groupBoxTitle) {
        w.Splitter = new QSplitter(Qt::Vertical, form);
        w.Splitter->setObjectName("Splitter");
        w.Splitter->setChildrenCollapsible(false);
        w.AvailableTree = NewSelectionTree("AvailableTree", w.Splitter);
        w.SelectedGroupBox = new QGroupBox(groupBoxTitle, w.Splitter);
        w.SelectedGroupBox->setObjectName("SelectedGroupBox");
        w.SelectedGroupBox->setMinimumHeight(60);
        w.Splitter->addWidget(w.AvailableTree);
        w.Splitter->addWidget(w.SelectedGroupBox);
        w.Splitter->setStretchFactor(0, 1);
        w.Splitter->setStretchFactor(1, 0);
        outer->addWidget(w.Splitter, 1);
    } else {
        w.AvailableTree = NewSelectionTree("AvailableTree", form);
        outer->addWidget(w.AvailableTree, 1);
    }
    std::tie(w.OKButton, w.CancelButton) = AddOkCancelRow(form, outer);
    return w;
}

}  // namespace quantora::dialogs
