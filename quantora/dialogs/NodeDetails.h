// What the pickers show beside a node's name: a measurement's start and sample in two more
// columns, and the longer description of a chosen measurement or energy calibration that fills
// a picker's "selected" box.
#pragma once

#include <QString>

#include "quantora/base/Types.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/dialogs/TreeNodes.h"

class QGroupBox;
class QLabel;
class QTreeWidget;

namespace quantora::dialogs {

// The columns of a picker tree: name, start, sample, with a header row naming them.
void ShowDetailColumns(QTreeWidget* tree);

// Fills the start and sample columns of every measurement node of `nodes` from database `db`.
void AddMeasurementDetails(const AnsiString& db, NodeList& nodes);

// A label filling `box`, for the description of the current choice.
QLabel* NewSelectionLabel(QGroupBox* box);

// "M10, started 2024-03-01 12:00, sample Soil 4" from a measurement node; empty for a null node.
QString DescribeMeasurement(const QTreeWidgetItem* node);
// The calibration's name, its line E = a + b * channel and when it was made.
QString DescribeECal(const ECALData& ecal);

}  // namespace quantora::dialogs
