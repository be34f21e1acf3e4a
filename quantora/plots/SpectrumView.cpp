// The interactive spectrum window.
#include "quantora/plots/SpectrumView.h"

#include <QFontMetricsF>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace quantora::plots {
namespace {

constexpr double kZoomPerNotch = 0.8;   // x span factor of one wheel step towards the screen
constexpr double kMinSpanShare = 1e-4;  // the narrowest range, as a share of the full one
constexpr double kMinDragPx = 4;
constexpr double kPanPerKey = 0.1;  // share of the visible span one arrow key press moves

}  // namespace

SpectrumView::SpectrumView(std::vector<SpectrumSeries> spectra, bool logY, QWidget* parent)
    : QWidget(parent), spectra_(std::move(spectra)) {
    opt_.logY = logY;
    opt_.energyAxis = !spectra_.empty() &&
                      std::all_of(spectra_.begin(), spectra_.end(), [](const SpectrumSeries& s) {
                          return s.energyOf && s.channelOf;
                      });
    // Fail here, not in the first paint event.
    QImage probe(200, 200, QImage::Format_RGB32);
    QPainter p(&probe);
    DrawSpectrum(p, QRectF(0, 0, probe.width(), probe.height()), spectra_, opt_);
    full_ = FullXRange(spectra_, opt_);
    opt_.xLo = full_.first, opt_.xHi = full_.second;
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(400, 250);
    resize(1000, 620);
}

double SpectrumView::ReadoutHeight() const {
    return QFontMetricsF(font()).height() * 1.6;
}

void SpectrumView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const double rh = ReadoutHeight();
    const QRectF plot(0, 0, width(), height() - rh);
    layout_ = DrawSpectrum(p, plot, spectra_, opt_);
    const QRectF& r = layout_.panel.rect;
    if (dragFrom_) {
        const double a = std::clamp(*dragFrom_, r.left(), r.right());
        const double b = std::clamp(dragTo_, r.left(), r.right());
        p.fillRect(QRectF(std::min(a, b), r.top(), std::fabs(b - a), r.height()),
                   QColor(31, 90, 180, 50));
    }
    p.fillRect(QRectF(0, height() - rh, width(), rh), QColor(245, 245, 245));
    p.setPen(QColor(30, 30, 30));
    p.drawText(
        QRectF(8, height() - rh, width() - 16, rh), Qt::AlignLeft | Qt::AlignVCenter,
        readout_.isEmpty()
            ? "wheel / drag: zoom   right drag / arrows: pan   L: log/linear   Home: everything"
            : readout_);
    if (!hover_.isEmpty()) {
        const QFontMetricsF fm(font());
        const QRectF text = fm.boundingRect(QRectF(0, 0, 400, 400), Qt::AlignLeft, hover_);
        QRectF box(hoverAt_ + QPointF(14, 14), text.size() + QSizeF(12, 10));
        if (box.right() > width()) box.moveRight(hoverAt_.x() - 14);
        if (box.bottom() > height() - rh) box.moveBottom(hoverAt_.y() - 14);
        p.setPen(QColor(120, 120, 120));
        p.setBrush(QColor(255, 255, 225));
        p.drawRect(box);
        p.setPen(QColor(30, 30, 30));
        p.drawText(box.adjusted(6, 5, -6, -5), Qt::AlignLeft, hover_);
    }
}

void SpectrumView::SetRange(double lo, double hi) {
    const double span = full_.second - full_.first;
    if (hi - lo < span * kMinSpanShare) {
        const double c = (lo + hi) / 2;
        lo = c - span * kMinSpanShare / 2, hi = c + span * kMinSpanShare / 2;
    }
    lo = std::max(lo, full_.first);
    hi = std::min(hi, full_.second);
    if (!(hi > lo)) return;
    opt_.xLo = lo, opt_.xHi = hi;
    repaint();
}

void SpectrumView::Pan(double dx) {
    const double span = opt_.xHi - opt_.xLo;
    const double lo = std::clamp(opt_.xLo + dx, full_.first, full_.second - span);
    opt_.xLo = lo, opt_.xHi = lo + span;
    repaint();
}

void SpectrumView::wheelEvent(QWheelEvent* e) {
    const double notches = e->angleDelta().y() / 120.0;
    if (notches == 0) return;
    const Axis& x = layout_.panel.x;
    const double c = x.Inverse(std::clamp(e->position().x(), x.P0(), x.P1()));
    const double f = std::pow(kZoomPerNotch, notches);
    SetRange(c - (c - opt_.xLo) * f, c + (opt_.xHi - c) * f);
    e->accept();
}

void SpectrumView::mousePressEvent(QMouseEvent* e) {
    if (!layout_.panel.rect.contains(e->position())) return;
    if (e->button() == Qt::LeftButton) dragFrom_ = dragTo_ = e->position().x();
    if (e->button() == Qt::RightButton || e->button() == Qt::MiddleButton)
        panFrom_ = e->position().x();
}

void SpectrumView::mouseMoveEvent(QMouseEvent* e) {
    if (dragFrom_) dragTo_ = e->position().x();
    if (panFrom_) {
        // The data under the cursor follows it.
        const Axis& x = layout_.panel.x;
        Pan(x.Inverse(*panFrom_) - x.Inverse(e->position().x()));
        panFrom_ = e->position().x();
    }
    UpdateReadout(e->position());
    repaint();
}

void SpectrumView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) panFrom_.reset();
    if (!dragFrom_ || e->button() != Qt::LeftButton) return;
    const double a = *dragFrom_, b = e->position().x();
    dragFrom_.reset();
    const Axis& x = layout_.panel.x;
    if (std::fabs(b - a) >= kMinDragPx) {
        const double lo = x.Inverse(std::clamp(std::min(a, b), x.P0(), x.P1()));
        const double hi = x.Inverse(std::clamp(std::max(a, b), x.P0(), x.P1()));
        SetRange(lo, hi);
    } else {
        repaint();
    }
}

void SpectrumView::mouseDoubleClickEvent(QMouseEvent*) {
    SetRange(full_.first, full_.second);
}

void SpectrumView::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_L) {
        opt_.logY = !opt_.logY;
        repaint();
    } else if (e->key() == Qt::Key_Home || e->key() == Qt::Key_Escape) {
        SetRange(full_.first, full_.second);
    } else if (e->key() == Qt::Key_Left || e->key() == Qt::Key_Right) {
        const double step = (opt_.xHi - opt_.xLo) * kPanPerKey;
        Pan(e->key() == Qt::Key_Left ? -step : step);
    } else {
        QWidget::keyPressEvent(e);
    }
}

void SpectrumView::UpdateReadout(QPointF pos) {
    readout_.clear();
    hover_.clear();
    const Panel& panel = layout_.panel;
    for (const SpectrumLayout::MarkSpot& m : layout_.marks)
        if (m.rect.adjusted(-3, -3, 3, 3).contains(pos)) {
            hover_ = QString::fromStdString(PeakDescription(
                spectra_[static_cast<size_t>(m.series)].peaks[static_cast<size_t>(m.peak)]));
            hoverAt_ = pos;
            break;
        }
    if (!panel.rect.contains(pos)) return;
    const double v = panel.x.Inverse(pos.x());
    // On an energy axis each spectrum has its own channel there; over channels they share it.
    const bool ownChannel = opt_.energyAxis && spectra_.size() > 1;
    readout_ = opt_.energyAxis ? QString("energy %1 keV").arg(v, 0, 'f', 2)
                               : QString("channel %1").arg(v, 0, 'f', 1);
    if (!opt_.energyAxis && spectra_.front().energyOf && spectra_.size() == 1)
        readout_ += QString("   energy %1 keV").arg(spectra_.front().energyOf(v), 0, 'f', 2);
    for (size_t k = 0; k < spectra_.size(); ++k) {
        const SpectrumSeries& s = spectra_[k];
        const double ch = opt_.energyAxis ? s.channelOf(v) : v;
        const long i = std::lround(ch);
        QString part = spectra_.size() > 1 ? SeriesLabel(spectra_, k) + ": " : QString();
        if (ownChannel || (opt_.energyAxis && spectra_.size() == 1))
            part += QString("channel %1, ").arg(ch, 0, 'f', 1);
        part += i >= 0 && static_cast<size_t>(i) < s.counts.size()
                    ? QString("counts %1").arg(s.counts[static_cast<size_t>(i)], 0, 'f', 0)
                    : QString("no channel");
        readout_ += "   " + part;
    }
}

}  // namespace quantora::plots
