// Icons painted with QPainter: no image files to ship or lose.
#include "quantora/dialogs/Icons.h"

#include <QPainter>
#include <QPainterPath>

namespace quantora::dialogs {

QPixmap SymbolPixmap(Symbol symbol, int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    switch (symbol) {
        case Symbol::Project: {  // a folder
            p.setPen(QPen(QColor(140, 100, 20), s / 16));
            p.setBrush(QColor(240, 200, 80));
            QPainterPath path;
            path.moveTo(s * 0.08, s * 0.25);
            path.lineTo(s * 0.40, s * 0.25);
            path.lineTo(s * 0.48, s * 0.35);
            path.lineTo(s * 0.92, s * 0.35);
            path.lineTo(s * 0.92, s * 0.82);
            path.lineTo(s * 0.08, s * 0.82);
            path.closeSubpath();
            p.drawPath(path);
            break;
        }
        case Symbol::Measurement: {  // a detector cylinder
            p.setPen(QPen(QColor(40, 60, 110), s / 16));
            p.setBrush(QColor(120, 150, 210));
            p.drawRoundedRect(QRectF(s * 0.25, s * 0.12, s * 0.5, s * 0.76), s * 0.1, s * 0.1);
            p.setBrush(QColor(230, 240, 255));
            p.drawEllipse(QRectF(s * 0.35, s * 0.18, s * 0.3, s * 0.14));
            break;
        }
        case Symbol::Spectrum: {  // a peak on a falling continuum
            p.setPen(QPen(QColor(20, 110, 40), s / 12));
            QPainterPath path;
            path.moveTo(s * 0.06, s * 0.5);
            path.cubicTo(s * 0.2, s * 0.62, s * 0.35, s * 0.7, s * 0.45, s * 0.72);
            path.lineTo(s * 0.55, s * 0.12);
            path.lineTo(s * 0.65, s * 0.78);
            path.cubicTo(s * 0.75, s * 0.82, s * 0.85, s * 0.86, s * 0.94, s * 0.88);
            p.drawPath(path);
            break;
        }
        case Symbol::EnergyCalibration: {  // a straight calibration line through points
            p.setPen(QPen(QColor(90, 40, 120), s / 12));
            p.drawLine(QPointF(s * 0.1, s * 0.9), QPointF(s * 0.9, s * 0.1));
            p.setBrush(QColor(200, 60, 60));
            p.setPen(Qt::NoPen);
            for (qreal t : {0.25, 0.5, 0.75})
                p.drawEllipse(QPointF(s * (0.1 + 0.8 * t), s * (0.9 - 0.8 * t)), s * 0.08,
                              s * 0.08);
            break;
        }
        case Symbol::Source: {  // a radiation trefoil
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(250, 210, 0));
            p.drawEllipse(QRectF(0, 0, s, s));
            p.setBrush(Qt::black);
            QRectF outer(s * 0.12, s * 0.12, s * 0.76, s * 0.76);
            for (int k = 0; k < 3; ++k) p.drawPie(outer, (90 + k * 120 - 30) * 16, 60 * 16);
            p.setBrush(QColor(250, 210, 0));
            p.drawEllipse(QPointF(s / 2, s / 2), s * 0.14, s * 0.14);
            p.setBrush(Qt::black);
            p.drawEllipse(QPointF(s / 2, s / 2), s * 0.08, s * 0.08);
            break;
        }
        case Symbol::Error: {  // white cross on a red disc
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(200, 30, 30));
            p.drawEllipse(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92));
            p.setPen(QPen(Qt::white, s / 8, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(s * 0.32, s * 0.32), QPointF(s * 0.68, s * 0.68));
            p.drawLine(QPointF(s * 0.68, s * 0.32), QPointF(s * 0.32, s * 0.68));
            break;
        }
        case Symbol::Question: {  // white question mark on a blue disc
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(30, 90, 200));
            p.drawEllipse(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92));
            QFont f = p.font();
            f.setPixelSize(static_cast<int>(s * 0.7));
            f.setBold(true);
            p.setFont(f);
            p.setPen(Qt::white);
            p.drawText(QRectF(0, 0, s, s), Qt::AlignCenter, QStringLiteral("?"));
            break;
        }
        case Symbol::Tick: {
            p.setPen(QPen(QColor(20, 150, 40), s / 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            QPainterPath path;
            path.moveTo(s * 0.15, s * 0.55);
            path.lineTo(s * 0.4, s * 0.8);
            path.lineTo(s * 0.85, s * 0.2);
            p.drawPath(path);
            break;
        }
    }
    return pm;
}

QIcon SymbolIcon(Symbol symbol) {
    QIcon icon;
    for (int size : {16, 32}) icon.addPixmap(SymbolPixmap(symbol, size));
    return icon;
}

QIcon NodeIcon(int imageIndex) {
    switch (imageIndex) {
        case kProjectImage:
            return SymbolIcon(Symbol::Project);
        case kMeasurementImage:
            return SymbolIcon(Symbol::Measurement);
        case kSpectrumImage:
            return SymbolIcon(Symbol::Spectrum);
        case kECalImage:
            return SymbolIcon(Symbol::EnergyCalibration);
        default:
            return SymbolIcon(Symbol::Source);
    }
}

}  // namespace quantora::dialogs
