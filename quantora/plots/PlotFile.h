// Writing a plot to a file, PNG or SVG by the file's extension, and the Qt application that
// text rendering needs, created headless when the caller has none.
#pragma once

#include <QByteArray>
#include <QPainter>
#include <QRectF>
#include <functional>
#include <memory>
#include <string>

class QGuiApplication;

namespace quantora::plots {

// A drawing of the whole area, as the Draw... functions of this library do.
using PlotDrawing = std::function<void(QPainter&, const QRectF&)>;

// Sizes a caller may choose (pixels); outside them SavePlot throws.
constexpr int kMinPlotSide = 200, kMaxPlotSide = 10000;

// Draws into `path` (".png" or ".svg", any case) at width x height. Throws an Exception for an
// unknown extension, a size out of range, a drawing that throws (nothing is written then) and a
// file that cannot be written.
void SavePlot(const std::string& path, int width, int height, const PlotDrawing& draw);

// The picture's bytes in `format` ("png" or "svg"); throws as SavePlot does.
QByteArray RenderPlot(const std::string& format, int width, int height, const PlotDrawing& draw);

// Parses "WxH" (e.g. "1600x1000"); throws on anything else or a size out of range.
void ParsePlotSize(const std::string& text, int* width, int* height);

// Points XDG_RUNTIME_DIR, when unset, at the private directory Qt would fall back to, so Qt
// starts without a warning on standard error.
void PrepareQtRuntimeDir();

// Keeps a QGuiApplication alive for headless drawing when none exists yet (the "offscreen"
// platform unless QT_QPA_PLATFORM names another); does nothing when one exists.
class HeadlessGui {
  public:
    HeadlessGui();
    ~HeadlessGui();
    HeadlessGui(const HeadlessGui&) = delete;
    HeadlessGui& operator=(const HeadlessGui&) = delete;

  private:
    std::unique_ptr<QGuiApplication> app_;
};

}  // namespace quantora::plots
