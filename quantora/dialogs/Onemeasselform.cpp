// The single measurement picker, 660 by 444.
#include "quantora/dialogs/Onemeasselform.h"

#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>

#include "quantora/base/Format.h"
#include "quantora/dialogs/DialogLayout.h"
#include "quantora/dialogs/HandlerGuard.h"
#include "quantora/dialogs/Icons.h"
#include "quantora/dialogs/NodeDetails.h"
#include "quantora/frame/QueryGuards.h"
#include "quantora/records/Meastables.h"

using quantora::dialogs::NodeImage;
using quantora::dialogs::NodeKey;
using quantora::dialogs::NodeList;

TFormSelectMeas::TFormSelectMeas(QWidget* owner) : QDialog(owner) {
    setObjectName("FormSelectMeas");
    setWindowTitle("Select Measurement");
    resize(660, 444);
    RootProjQ.SetSQL("select project_id, name from project\r\nwhere SUPERPROJECT_ID is null");
    ProjQ.SetSQL(
        "select project_id, name from project\r\nwhere SUPERPROJECT_ID = :SUPERPROJECT_ID");
    MeasQ.SetSQL("select * from measurement\r\nwhere PROJECT_ID = :PROJECT_ID");

    const quantora::dialogs::OneTreeWidgets w =
        quantora::dialogs::BuildOneTreeLayout(this, "      Available measurements:", nullptr);
    AvailableHeader = w.Header;
    AvailableTree = w.AvailableTree;
    OKButton = w.OKButton;
    CancelButton = w.CancelButton;
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    quantora::dialogs::ShowDetailColumns(AvailableTree);

    tree_ = std::make_unique<quantora::dialogs::ProjectTree>(
        AvailableTree, &RootProjQ, &ProjQ,
        [this](const QTreeWidgetItem& node, NodeList& out) { LoadMeasurements(node, out); }, false);
}

TFormSelectMeas::~TFormSelectMeas() {
    AvailableTree->blockSignals(true);
}

void TFormSelectMeas::ShowAll() {
    tree_->ShowAll(DbName, StartProjectID);
}

void TFormSelectMeas::RetrieveChildren(QTreeWidgetItem* node) {
    tree_->RetrieveChildren(node);
}

void TFormSelectMeas::LoadMeasurements(const QTreeWidgetItem& node, NodeList& out) {
    if (NodeImage(&node) != quantora::dialogs::kProjectImage) return;
    MeasQ.Close();
    MeasQ.ParamByName("Project_id")->SetAsInteger(NodeKey(&node));
    OpenerCloser oc(&MeasQ);
    MEASUREMENTData meas;
    for (; !MeasQ.Eof(); MeasQ.Next()) {
        meas.GetData(&MeasQ);
        out.push_back(quantora::dialogs::NewNode(quantora::dialogs::ToQString(meas.NAME),
                                                 meas.MEASUREMENT_ID,
                                                 quantora::dialogs::kMeasurementImage));
    }
    quantora::dialogs::AddMeasurementDetails(DbName, out);
}

void TFormSelectMeas::FormShow() {
    quantora::dialogs::Guarded([this] {
        for (TQuery* q : {&RootProjQ, &ProjQ, &MeasQ}) q->SetDatabaseName(DbName);
        if (FilterByADC) {
            MeasQ.SetSQL(quantora::Format(
                "select m.measurement_id, m.name from MEASSETUP ms, measurement m where "
                "ms.ADC_ID = %d AND m.MEASSETUP_ID = ms.MEASSETUP_ID AND m.PROJECT_ID = "
                ":PROJECT_ID AND m.MEASOBJTYPE_ID = %d",
                ADCID, 1));
            TParam* project = MeasQ.ParamByName("PROJECT_ID");
            project->SetDataType(ftInteger);
            project->SetParamType(ptInput);
        }
        ShowAll();
    });
    AvailableTree->setFocus();
}

void TFormSelectMeas::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    QDialog::showEvent(event);
}

void TFormSelectMeas::done(int result) {
    QTreeWidgetItem* node = AvailableTree->currentItem();
    if (result == QDialog::Accepted && NodeImage(node) == quantora::dialogs::kMeasurementImage)
        SelectedMeasID = NodeKey(node);
    QDialog::done(result);
}
