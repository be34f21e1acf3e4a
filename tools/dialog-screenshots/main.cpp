// dialog_screenshots <db> <outdir>: opens every selection and confirmation dialog on a lab
// database, opens a few nodes, selects something and saves each dialog as a PNG.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QTreeWidget>
#include <cstdio>
#include <set>
#include <string>

#include "quantora/base/Exception.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dialogs/Deletionproblemsolverform.h"
#include "quantora/dialogs/DialogHooks.h"
#include "quantora/dialogs/Ecalselectionform.h"
#include "quantora/dialogs/Icons.h"
#include "quantora/dialogs/Listerform.h"
#include "quantora/dialogs/Measselectionform.h"
#include "quantora/dialogs/Onemeasselform.h"
#include "quantora/dialogs/Selonemeasform.h"
#include "quantora/dialogs/Sourceselectionform.h"
#include "quantora/dialogs/TreeNodes.h"
#include "quantora/frame/DeletionInfo.h"

namespace {

constexpr const char* kAlias = "screenshots";

QString g_outdir;

void Save(QWidget& dialog, const char* file) {
    QApplication::processEvents();
    const QString path = QDir(g_outdir).filePath(file);
    if (!dialog.grab().save(path)) throw Exception("cannot write " + path.toStdString());
    std::printf("%s\n", path.toLocal8Bit().constData());
}

// Opens every node from the top down to `depth` levels, then makes the deepest last node of
// the first branch current.
void OpenTree(QTreeWidget* tree, int depth) {
    QTreeWidgetItem* node = tree->topLevelItemCount() > 0 ? tree->topLevelItem(0) : nullptr;
    QTreeWidgetItem* last = node;
    for (int level = 0; node && level < depth; ++level) {
        node->setExpanded(true);
        last = node;
        node = node->childCount() > 0 ? node->child(0) : nullptr;
    }
    if (last && last->childCount() > 0) tree->setCurrentItem(last->child(last->childCount() - 1));
}

// The first node, depth first, whose image index is `image`.
QTreeWidgetItem* FirstOfKind(QTreeWidgetItem* node, int image) {
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        if (quantora::dialogs::NodeImage(child) == image) return child;
        if (QTreeWidgetItem* hit = FirstOfKind(child, image)) return hit;
    }
    return nullptr;
}

// Opens the path to the first node of `image`, loading on the way, and selects it.
void SelectFirstOfKind(QTreeWidget* tree, int image) {
    for (int round = 0; round < 8; ++round) {
        if (QTreeWidgetItem* hit = FirstOfKind(tree->invisibleRootItem(), image)) {
            tree->setCurrentItem(hit);
            return;
        }
        // Open one more level along every loaded branch.
        std::vector<QTreeWidgetItem*> closed;
        std::vector<QTreeWidgetItem*> stack{tree->invisibleRootItem()};
        while (!stack.empty()) {
            QTreeWidgetItem* n = stack.back();
            stack.pop_back();
            for (int i = 0; i < n->childCount(); ++i) {
                QTreeWidgetItem* c = n->child(i);
                if (c->childCount() == 0) continue;
                if (c->isExpanded())
                    stack.push_back(c);
                else
                    closed.push_back(c);
            }
        }
        if (closed.empty()) return;
        for (QTreeWidgetItem* c : closed) c->setExpanded(true);
    }
}

void MeasSelection() {
    std::set<int> excluded;
    std::set<MEASUREMENTData> chosen;
    TFormMeasSelection form;
    form.DbName = kAlias;
    form.ExcludedMeasIDs = &excluded;
    form.SelectedMeas = &chosen;
    form.show();
    // Down the first branch; its last measurement moves to the right.
    OpenTree(form.AvailableTree, 3);
    form.AddButtonClick();
    SelectFirstOfKind(form.AvailableTree, quantora::dialogs::kMeasurementImage);
    form.AddButtonClick();
    Save(form, "meas-selection.png");
}

void SourceSelection() {
    TFormSourceSelection form;
    form.DbName = kAlias;
    form.show();
    if (form.AvailableTree->topLevelItemCount() > 1) {
        form.AvailableTree->setCurrentItem(form.AvailableTree->topLevelItem(1));
        form.AddButtonClick();
    }
    Save(form, "source-selection.png");
}

// The project of the first measurement, -1 when there is none.
int FirstMeasurementProject() {
    TQuery q;
    q.SetDatabaseName(kAlias);
    q.SetSQL("select PROJECT_ID from MEASUREMENT order by MEASUREMENT_ID");
    q.Open();
    return q.Eof() ? -1 : q.Fields()[0]->AsInteger();
}

void SelectMeas() {
    // This picker loads no deeper on expansion: it opens at a start project instead.
    TFormSelectMeas form;
    form.DbName = kAlias;
    form.StartProjectID = FirstMeasurementProject();
    form.show();
    SelectFirstOfKind(form.AvailableTree, quantora::dialogs::kMeasurementImage);
    Save(form, "select-meas.png");
}

void ECalSelection() {
    TFormECalSelection form;
    form.DbName = kAlias;
    form.show();
    SelectFirstOfKind(form.AvailableTree, quantora::dialogs::kECalImage);
    Save(form, "ecal-selection.png");
}

void SelOneMeas() {
    TFormSelOneMeas form;
    form.DbName = kAlias;
    form.show();
    SelectFirstOfKind(form.AvailableTree, quantora::dialogs::kMeasurementImage);
    Save(form, "sel-one-meas.png");
}

void Lister() {
    TFormLister form;
    form.TextLabel->setText("Delete the following measurements?");
    form.ItemListBox->addItems({"Soil sample 1", "Soil sample 2"});
    form.show();
    Save(form, "lister.png");
}

void DeletionProblems() {
    DbObjectDeletionInfo info;
    info.Problems = {{Solved, "SPECTRUM ID=1 of 'MEASUREMENT'"},
                     {Resolvable, "PROJECT ID=3 of 'MEASUREMENT'"},
                     {NotResolvable, "PEAKEVAL ID=7 of 'SPECTRUM'"}};
    TFormDeletionProblemSolver form;
    form.DeletionInfo = &info;
    form.show();
    Save(form, "deletion-problems.png");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: dialog_screenshots <db> <outdir>\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("dialog_screenshots");
    InstallDialogHooks();
    try {
        g_outdir = QString::fromLocal8Bit(argv[2]);
        if (!QDir().mkpath(g_outdir)) throw Exception(std::string("cannot create ") + argv[2]);
        std::string db = argv[1];
        OpenDatabase(kAlias, DatabaseUri(db));
        MeasSelection();
        SourceSelection();
        SelectMeas();
        ECalSelection();
        SelOneMeas();
        Lister();
        DeletionProblems();
        CloseDatabase(kAlias);
    } catch (const Exception& e) {
        std::fprintf(stderr, "dialog_screenshots: %s\n", e.Message.c_str());
        return 1;
    }
    return 0;
}
