// The energy calibration picker, 544 by 461.
#include "quantora/dialogs/Ecalselectionform.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>

#include "quantora/dialogs/DialogLayout.h"
#include "quantora/dialogs/HandlerGuard.h"
#include "quantora/dialogs/Icons.h"
#include "quantora/dialogs/NodeDetails.h"
#include "quantora/dialogs/TreeQueries.h"
#include "quantora/frame/QueryGuards.h"

using quantora::dialogs::NodeImage;
using quantora::dialogs::NodeKey;
using quantora::dialogs::NodeList;

TFormECalSelection::TFormECalSelection(QWidget* owner) : QDialog(owner) {
    setObjectName("FormECalSelection");
    setWindowTitle("Select an energy calibration");
    resize(544, 461);
    RootProjQ.SetSQL("select project_id, name from project\r\nwhere SUPERPROJECT_ID is null");
    ProjQ.SetSQL(
        "select project_id, name from project\r\nwhere SUPERPROJECT_ID = :SUPERPROJECT_ID");
    MeasQ.SetSQL("select measurement_id, name from measurement\r\nwhere PROJECT_ID = :PROJECT_ID");
    SpeQ.SetSQL("select spectrum_id, name from spectrum\r\nwhere measurement_ID = :measurement_ID");
    ECalQ.SetSQL("select * from ecal\r\nwhere spectrum_ID = :spectrum_ID");

    const quantora::dialogs::OneTreeWidgets w = quantora::dialogs::BuildOneTreeLayout(
        this, "      Available energy calibrations:", "Selected calibration");
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
        [this](const QTreeWidgetItem& node, NodeList& out) { LoadDetails(node, out); }, true);
    connect(AvailableTree, &QTreeWidget::currentItemChanged, this,
            &TFormECalSelection::AvailableTreeChange);
    connect(OKButton, &QPushButton::clicked, this, &TFormECalSelection::OKButtonClick);
}

TFormECalSelection::~TFormECalSelection() {
    AvailableTree->blockSignals(true);
}

void TFormECalSelection::ShowAll() {
    tree_->ShowAll(DbName, StartProjectID);
}

void TFormECalSelection::RetrieveChildren(QTreeWidgetItem* node) {
    tree_->RetrieveChildren(node);
}

void TFormECalSelection::LoadDetails(const QTreeWidgetItem& node, NodeList& out) {
    using namespace quantora::dialogs;
    switch (NodeImage(&node)) {
        case kProjectImage:
            AppendNodesByName(MeasQ, NodeKey(&node), "MEASUREMENT_ID", "NAME", kMeasurementImage,
                              out);
            AddMeasurementDetails(DbName, out);
            break;
        case kMeasurementImage:
            AppendNodesByName(SpeQ, NodeKey(&node), "SPECTRUM_ID", "NAME", kSpectrumImage, out);
            break;
        case kSpectrumImage:
            LoadCalibrations(NodeKey(&node), out);
            break;
        default:
            break;
    }
}

void TFormECalSelection::LoadCalibrations(int spectrumId, NodeList& out) {
    ECalQ.Close();
    quantora::dialogs::FirstParam(ECalQ)->SetAsInteger(spectrumId);
    OpenerCloser oc(&ECalQ);
    for (; !ECalQ.Eof(); ECalQ.Next()) {
        ECALData ecal;
        ecal.GetData(&ECalQ);
        RetrievedECals.insert(ecal);
        if (ExcludedECalIDs && ExcludedECalIDs->count(ecal.ECAL_ID)) continue;
        out.push_back(quantora::dialogs::NewNode(quantora::dialogs::ToQString(ecal.NAME),
                                                 ecal.ECAL_ID, quantora::dialogs::kECalImage));
        out.back()->setToolTip(0, quantora::dialogs::DescribeECal(ecal));
    }
}

void TFormECalSelection::FormShow() {
    quantora::dialogs::Guarded([this] {
        for (TQuery* q : {&RootProjQ, &ProjQ, &MeasQ, &SpeQ, &ECalQ}) q->SetDatabaseName(DbName);
        ShowAll();
    });
    AvailableTree->setFocus();
}

void TFormECalSelection::AvailableTreeChange(QTreeWidgetItem* node) {
    SelectedECalID = NodeImage(node) == quantora::dialogs::kECalImage ? NodeKey(node) : -1;
    OKButton->setEnabled(SelectedECalID > 0);
    const ECALData* record = Retrieved(SelectedECalID);
    SelectionLabel->setText(record ? quantora::dialogs::DescribeECal(*record) : QString());
}

void TFormECalSelection::OKButtonClick() {
    quantora::dialogs::Guarded([this] {
        if (const ECALData* record = Retrieved(SelectedECalID)) SelectedECal = *record;
    });
    accept();
}

const ECALData* TFormECalSelection::Retrieved(int ecalId) const {
    ECALData probe;
    probe.ECAL_ID = ecalId;
    const auto record = RetrievedECals.find(probe);
    return record == RetrievedECals.end() ? nullptr : &*record;
}

void TFormECalSelection::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    QDialog::showEvent(event);
}

void TFormECalSelection::done(int result) {
    if (result != QDialog::Accepted) {
        SelectedECalID = -1;
        SelectedECal.Reset();
    }
    QDialog::done(result);
}
