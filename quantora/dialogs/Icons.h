// The small pictures of the dialogs, drawn in code: project tree nodes, message symbols, a tick.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace quantora::dialogs {

// Tree node images, by the index the trees keep on each node.
enum NodeImage { kProjectImage = 0, kMeasurementImage = 1, kSpectrumImage = 2, kECalImage = 3 };

enum class Symbol {
    Project,
    Measurement,
    Spectrum,
    EnergyCalibration,
    Source,
    Error,
    Question,
    Tick
};

QPixmap SymbolPixmap(Symbol symbol, int size);
QIcon SymbolIcon(Symbol symbol);
// The icon of a tree node image index (0 to 3); a source for any other index.
QIcon NodeIcon(int imageIndex);

}  // namespace quantora::dialogs
