// The measurement selection dialog, 725 by 480.
#include "quantora/dialogs/Measselectionform.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>

#include "quantora/dialogs/DialogLayout.h"
#include "quantora/dialogs/HandlerGuard.h"
#include "quantora/dialogs/Icons.h"
#include "quantora/frame/QueryGuards.h"

using quantora::dialogs::Guarded;
using quantora::dialogs::NodeImage;
using quantora::dialogs::NodeKey;
using quantora::dialogs::NodeList;

TFormMeasSelection::TFormMeasSelection(QWidget* owner) : QDialog(owner) {
    setObjectName("FormMeasSelection");
    setWindowTitle("Select measurements");
    resize(725, 480);
    RootProjQ.SetSQL("select project_id, name from project\r\nwhere SUPERPROJECT_ID is null");
    ProjQ.SetSQL(
        "select project_id, name from project\r\nwhere SUPERPROJECT_ID = :SUPERPROJECT_ID");
    MeasQ.SetSQL("select * from measurement\r\nwhere PROJECT_ID = :PROJECT_ID");

    const quantora::dialogs::TwoTreeWidgets w = quantora::dialogs::BuildTwoTreeLayout(
        this, "      Available measurements:", "      Selected measurements:");
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

    tree_ = std::make_unique<quantora::dialogs::ProjectTree>(
        AvailableTree, &RootProjQ, &ProjQ,
        [this](const QTreeWidgetItem& node, NodeList& out) { LoadMeasurements(node, out); }, true);

    connect(AddButton, &QPushButton::clicked, this, &TFormMeasSelection::AddButtonClick);
    connect(RemoveButton, &QPushButton::clicked, this, &TFormMeasSelection::RemoveButtonClick);
    connect(AvailableTree, &QTreeWidget::itemDoubleClicked, this,
            &TFormMeasSelection::AddButtonClick);
    connect(SelectedTree, &QTreeWidget::itemDoubleClicked, this,
            &TFormMeasSelection::RemoveButtonClick);
    connect(OKButton, &QPushButton::clicked, this, &TFormMeasSelection::OKButtonClick);
    // The space bar reaches the form before the trees.
    AvailableTree->installEventFilter(this);
    SelectedTree->installEventFilter(this);
}

TFormMeasSelection::~TFormMeasSelection() {
    // The trees die after the members their handlers use.
    AvailableTree->blockSignals(true);
    SelectedTree->blockSignals(true);
}

void TFormMeasSelection::ShowAll() {
    tree_->ShowAll(DbName, StartProjectID);
}

void TFormMeasSelection::RetrieveChildren(QTreeWidgetItem* node) {
    tree_->RetrieveChildren(node);
}

QTreeWidgetItem* TFormMeasSelection::SearchRetrievedProject(QTreeWidgetItem* node, int projectId) {
    return quantora::dialogs::ProjectTree::SearchRetrievedProject(node, projectId);
}

void TFormMeasSelection::LoadMeasurements(const QTreeWidgetItem& node, NodeList& out) {
    if (NodeImage(&node) != quantora::dialogs::kProjectImage) return;
    MeasQ.Close();
    MeasQ.ParamByName("PROJECT_ID")->SetAsInteger(NodeKey(&node));
    OpenerCloser oc(&MeasQ);
    for (; !MeasQ.Eof(); MeasQ.Next()) {
        MEASUREMENTData meas;
        meas.GetData(&MeasQ);
        RetrievedMeas.insert(meas);
        const int id = meas.MEASUREMENT_ID;
        if ((ExcludedMeasIDs && ExcludedMeasIDs->count(id)) || SelectedMeasIDs.count(id)) continue;
        out.push_back(quantora::dialogs::NewNode(quantora::dialogs::ToQString(meas.NAME), id,
                                                 quantora::dialogs::kMeasurementImage));
    }
}

void TFormMeasSelection::FormShow() {
    Guarded([this] {
        for (TQuery* q : {&RootProjQ, &ProjQ, &MeasQ}) q->SetDatabaseName(DbName);
        ShowAll();
    });
    AvailableTree->setFocus();
}

void TFormMeasSelection::Add() {
    QTreeWidgetItem* node = AvailableTree->currentItem();
    if (!node || NodeImage(node) != quantora::dialogs::kMeasurementImage || !node->parent()) return;
    SelectedMeasIDs.insert(NodeKey(node));
    SelectedTree->addTopLevelItem(quantora::dialogs::CopyNodeWithPath(*node).release());
    delete node;
}

void TFormMeasSelection::Remove() {
    QTreeWidgetItem* node = SelectedTree->currentItem();
    if (!node) return;
    MEASUREMENTData probe;
    probe.MEASUREMENT_ID = NodeKey(node);
    auto record = RetrievedMeas.find(probe);
    if (record == RetrievedMeas.end()) return;
    // Back under its project when that is loaded; otherwise it comes with the project's next
    // load.
    if (QTreeWidgetItem* project =
            SearchRetrievedProject(AvailableTree->topLevelItem(0), record->PROJECT_ID))
        project->addChild(quantora::dialogs::CopyNode(*node).release());
    SelectedMeasIDs.erase(probe.MEASUREMENT_ID);
    delete node;
}

void TFormMeasSelection::AddButtonClick() {
    Guarded([this] { Add(); });
}

void TFormMeasSelection::RemoveButtonClick() {
    Guarded([this] { Remove(); });
}

void TFormMeasSelection::OKButtonClick() {
    Guarded([this] {
        if (!SelectedMeas) return;
        MEASUREMENTData probe;
        for (int id : SelectedMeasIDs) {
            probe.MEASUREMENT_ID = id;
            auto record = RetrievedMeas.find(probe);
            if (record != RetrievedMeas.end()) SelectedMeas->insert(*record);
        }
    });
    accept();
}

void TFormMeasSelection::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    QDialog::showEvent(event);
}

bool TFormMeasSelection::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space &&
        (watched == AvailableTree || watched == SelectedTree)) {
        if (watched == AvailableTree)
            AddButtonClick();
        else
            RemoveButtonClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFormMeasSelection::done(int result) {
    if (result != QDialog::Accepted) SelectedMeasIDs.clear();
    QDialog::done(result);
}
