// The source selection dialog, 725 by 479.
#include "quantora/dialogs/Sourceselectionform.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>

#include "quantora/dialogs/DialogLayout.h"
#include "quantora/dialogs/HandlerGuard.h"
#include "quantora/dialogs/Icons.h"
#include "quantora/dialogs/TreeNodes.h"
#include "quantora/frame/QueryGuards.h"

using quantora::dialogs::Guarded;
using quantora::dialogs::NodeKey;

namespace {

// A source node: image index 0 with the source picture.
QTreeWidgetItem* SourceNode(const QString& text, int key) {
    return quantora::dialogs::NewNode(
               text, key, 0, quantora::dialogs::SymbolIcon(quantora::dialogs::Symbol::Source))
        .release();
}

}  // namespace

TFormSourceSelection::TFormSourceSelection(QWidget* owner) : QDialog(owner) {
    setObjectName("FormSourceSelection");
    setWindowTitle("Select radioactive sources");
    resize(725, 479);
    SourceQ.SetSQL("select * from source");

    const quantora::dialogs::TwoTreeWidgets w = quantora::dialogs::BuildTwoTreeLayout(
        this, "      Available sources:", "      Selected sources:");
    AvailableHeader = w.AvailableHeader;
    AvailableTree = w.AvailableTree;
    AvailPropertiesButton = w.AvailPropertiesButton;
    AddButton = w.AddButton;
    RemoveButton = w.RemoveButton;
    Splitter = w.Splitter;
    SelectedHeader = w.SelectedHeader;
    SelectedTree = w.SelectedTree;
    SelPropertiesButton = w.SelPropertiesButton;
    OKButton = w.OKButton;
    CancelButton = w.CancelButton;

    connect(AddButton, &QPushButton::clicked, this, &TFormSourceSelection::AddButtonClick);
    connect(RemoveButton, &QPushButton::clicked, this, &TFormSourceSelection::RemoveButtonClick);
    connect(AvailableTree, &QTreeWidget::itemDoubleClicked, this,
            &TFormSourceSelection::AddButtonClick);
    connect(SelectedTree, &QTreeWidget::itemDoubleClicked, this,
            &TFormSourceSelection::RemoveButtonClick);
    connect(OKButton, &QPushButton::clicked, this, &TFormSourceSelection::OKButtonClick);
}

TFormSourceSelection::~TFormSourceSelection() {
    AvailableTree->blockSignals(true);
    SelectedTree->blockSignals(true);
}

void TFormSourceSelection::ReadSources() {
    if (DbName.empty()) throw Exception("ERROR: database name not specified");
    SourceQ.Close();
    SourceQ.SetDatabaseName(DbName);
    quantora::SourceSet read;
    {
        OpenerCloser oc(&SourceQ);
        for (; !SourceQ.Eof(); SourceQ.Next()) {
            SOURCEData source;
            source.Read(&SourceQ);
            read.insert(source);
        }
    }
    AllSources.merge(read);  // an id already there keeps its first record
}

void TFormSourceSelection::ShowAllSources() {
    AvailableTree->clear();
    QList<QTreeWidgetItem*> nodes;
    for (const SOURCEData& source : AllSources) {
        if (ExcludedSourceIDs && ExcludedSourceIDs->count(source.SOURCE_ID)) continue;
        if (SelectedSourceIDs.count(source.SOURCE_ID)) continue;
        nodes.append(SourceNode(quantora::dialogs::ToQString(source.NAME), source.SOURCE_ID));
    }
    AvailableTree->addTopLevelItems(nodes);
    if (AvailableTree->topLevelItemCount() > 0)
        AvailableTree->setCurrentItem(AvailableTree->topLevelItem(0));
}

void TFormSourceSelection::FormShow() {
    Guarded([this] {
        ReadSources();
        ShowAllSources();
    });
    AvailableTree->setFocus();
}

void TFormSourceSelection::AddButtonClick() {
    Guarded([this] {
        QTreeWidgetItem* node = AvailableTree->currentItem();
        if (!node) return;
        SelectedSourceIDs.insert(NodeKey(node));
        SelectedTree->addTopLevelItem(quantora::dialogs::CopyNodeWithPath(*node).release());
        delete node;
    });
}

void TFormSourceSelection::RemoveButtonClick() {
    Guarded([this] {
        QTreeWidgetItem* node = SelectedTree->currentItem();
        if (!node) return;
        AvailableTree->addTopLevelItem(quantora::dialogs::CopyNode(*node).release());
        SelectedSourceIDs.erase(NodeKey(node));
        delete node;
    });
}

void TFormSourceSelection::OKButtonClick() {
    Guarded([this] {
        if (!SelectedSources) return;
        SOURCEData probe;
        for (int id : SelectedSourceIDs) {
            probe.SOURCE_ID = id;
            auto record = AllSources.find(probe);
            if (record != AllSources.end()) SelectedSources->insert(*record);
        }
    });
    accept();
}

void TFormSourceSelection::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    QDialog::showEvent(event);
}

void TFormSourceSelection::done(int result) {
    if (result != QDialog::Accepted) SelectedSourceIDs.clear();
    QDialog::done(result);
}
