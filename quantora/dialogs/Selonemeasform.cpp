// The single measurement picker with a replaceable measurement query, 631 by 483.
#include "quantora/dialogs/Selonemeasform.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>

#include "quantora/dialogs/DialogLayout.h"
#include "quantora/dialogs/HandlerGuard.h"
#include "quantora/dialogs/Icons.h"
#include "quantora/dialogs/NodeDetails.h"
#include "quantora/dialogs/TreeQueries.h"

using quantora::dialogs::NodeImage;
using quantora::dialogs::NodeKey;
using quantora::dialogs::NodeList;

TFormSelOneMeas::TFormSelOneMeas(QWidget* owner) : QDialog(owner) {
    setObjectName("FormSelOneMeas");
    setWindowTitle("Select a measurement");
    resize(631, 483);
    RootProjQ.SetSQL("select project_id, name from project\r\nwhere SUPERPROJECT_ID is null");
    ProjQ.SetSQL(
        "select project_id, name from project\r\nwhere SUPERPROJECT_ID = :SUPERPROJECT_ID");
    MeasQ.SetSQL("select measurement_id, name from measurement\r\nwhere PROJECT_ID = :PROJECT_ID");

    const quantora::dialogs::OneTreeWidgets w = quantora::dialogs::BuildOneTreeLayout(
        this, "      Available measurements:", "Selected measurement");
    AvailableHeader = w.Header;
    AvailableTree = w.AvailableTree;
    Splitter = w.Splitter;
    SelectedGroupBox = w.SelectedGroupBox;
    OKButton = w.OKButton;
    CancelButton = w.CancelButton;
    OKButton->setEnabled(false);
    SelectionLabel = quantora::dialogs::NewSelectionLabel(SelectedGroupBox);
    quantora::dialogs::ShowDetailColumns(AvailableTree);

    tree_ = std::make_unique<quantora::dialogs::ProjectTree>(
        AvailableTree, &RootProjQ, &ProjQ,
        [this](const QTreeWidgetItem& node, NodeList& out) {
            if (NodeImage(&node) != quantora::dialogs::kProjectImage) return;
            quantora::dialogs::AppendNodesByName(MeasQ, NodeKey(&node), "MEASUREMENT_ID", "NAME",
                                                 quantora::dialogs::kMeasurementImage, out);
            quantora::dialogs::AddMeasurementDetails(DbName, out);
        },
        true);
    connect(AvailableTree, &QTreeWidget::currentItemChanged, this,
            &TFormSelOneMeas::AvailableTreeChange);
    connect(OKButton, &QPushButton::clicked, this, &TFormSelOneMeas::OKButtonClick);
}

TFormSelOneMeas::~TFormSelOneMeas() {
    AvailableTree->blockSignals(true);
}

void TFormSelOneMeas::ShowAll() {
    tree_->ShowAll(DbName, StartProjectID);
}

void TFormSelOneMeas::RetrieveChildren(QTreeWidgetItem* node) {
    tree_->RetrieveChildren(node);
}

void TFormSelOneMeas::FormShow() {
    quantora::dialogs::Guarded([this] {
        for (TQuery* q : {&RootProjQ, &ProjQ, &MeasQ}) q->SetDatabaseName(DbName);
        if (!MeasSQL.empty()) MeasQ.SetSQL(MeasSQL);
        ShowAll();
    });
    AvailableTree->setFocus();
}

void TFormSelOneMeas::AvailableTreeChange(QTreeWidgetItem* node) {
    CurrentMeasID = -1;
    CurrentMeasName.clear();
    if (NodeImage(node) == quantora::dialogs::kMeasurementImage) {
        CurrentMeasID = NodeKey(node);
        CurrentMeasName = node->text(0).toLocal8Bit().toStdString();
    }
    OKButton->setEnabled(CurrentMeasID > 0);
    SelectionLabel->setText(CurrentMeasID > 0 ? quantora::dialogs::DescribeMeasurement(node)
                                              : QString());
}

void TFormSelOneMeas::OKButtonClick() {
    SelectedMeasID = CurrentMeasID;
    accept();
}

void TFormSelOneMeas::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    QDialog::showEvent(event);
}

void TFormSelOneMeas::done(int result) {
    if (result != QDialog::Accepted) CurrentMeasID = -1;
    QDialog::done(result);
}
