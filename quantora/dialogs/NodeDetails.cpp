// Measurement and calibration details shown by the pickers.
#include "quantora/dialogs/NodeDetails.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <map>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dialogs/Icons.h"
#include "quantora/frame/QueryGuards.h"

namespace quantora::dialogs {
namespace {

enum Column { kName = 0, kStart = 1, kSample = 2 };

// A stored time to the minute; empty when unknown.
QString Minutes(TDateTime t) {
    if (!(t > 0)) return {};
    return ToQString(FormatIsoDateTime(t)).left(16);
}

}  // namespace

void ShowDetailColumns(QTreeWidget* tree) {
    tree->setColumnCount(3);
    tree->setHeaderLabels({"Name", "Started", "Sample"});
    tree->setHeaderHidden(false);
    tree->header()->setStretchLastSection(true);
    tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

void AddMeasurementDetails(const AnsiString& db, NodeList& nodes) {
    std::map<int, QTreeWidgetItem*> byKey;
    for (const auto& n : nodes)
        if (NodeImage(n.get()) == kMeasurementImage) byKey[NodeKey(n.get())] = n.get();
    if (byKey.empty()) return;
    AnsiString keys;
    for (const auto& [key, node] : byKey) keys += (keys.empty() ? "" : ",") + Format("%d", key);
    TQuery q;
    q.SetDatabaseName(db);
    q.SetSQL(
        "select m.measurement_id, m.startdate, s.name from measurement m left join sample s on "
        "s.sample_id = m.sample_id where m.measurement_id in (" +
        keys + ")");
    OpenerCloser oc(&q);
    for (; !q.Eof(); q.Next()) {
        QTreeWidgetItem* node = byKey.at(q.Fields()[0]->AsInteger());
        if (!q.Fields()[1]->IsNull()) node->setText(kStart, Minutes(q.Fields()[1]->AsDateTime()));
        if (!q.Fields()[2]->IsNull()) node->setText(kSample, ToQString(q.Fields()[2]->AsString()));
    }
}

QLabel* NewSelectionLabel(QGroupBox* box) {
    auto* layout = new QVBoxLayout(box);
    auto* label = new QLabel(box);
    label->setObjectName("SelectionLabel");
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(label);
    return label;
}

QString DescribeMeasurement(const QTreeWidgetItem* node) {
    if (!node) return {};
    QString s = node->text(kName);
    if (!node->text(kStart).isEmpty()) s += ", started " + node->text(kStart);
    if (!node->text(kSample).isEmpty()) s += ", sample " + node->text(kSample);
    return s;
}

QString DescribeECal(const ECALData& ecal) {
    QString s = ToQString(ecal.NAME.empty() ? Format("calibration %d", ecal.ECAL_ID) : ecal.NAME);
    s += QString(": E = %1 + %2 \u00b7 channel keV")
             .arg(ecal.PARAMA, 0, 'g', 6)
             .arg(ecal.PARAMB, 0, 'g', 6);
    if (ecal.TENTATIVE == "Y") s += ", tentative";
    if (ecal.CREATIONDATE > 0) s += ", made " + Minutes(ecal.CREATIONDATE);
    return s;
}

}  // namespace quantora::dialogs
