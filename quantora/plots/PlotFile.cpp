// PNG and SVG output of plots.
#include "quantora/plots/PlotFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QSvgGenerator>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"

namespace quantora::plots {
namespace {

std::string Extension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string e = path.substr(dot + 1);
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

void CheckSize(int w, int h) {
    if (w < kMinPlotSide || h < kMinPlotSide || w > kMaxPlotSide || h > kMaxPlotSide)
        throw Exception(Format("picture size %dx%d out of range (%d to %d pixels a side)", w, h,
                               kMinPlotSide, kMaxPlotSide));
}

void WriteFile(const std::string& path, const QByteArray& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.constData(), bytes.size());
    out.close();
    if (!out) throw Exception("cannot write '" + path + "'");
}

}  // namespace

void ParsePlotSize(const std::string& text, int* width, int* height) {
    const size_t x = text.find('x');
    auto number = [&](size_t b, size_t e, int* out) {
        auto r = std::from_chars(text.data() + b, text.data() + e, *out);
        return b < e && r.ec == std::errc() && r.ptr == text.data() + e;
    };
    if (x == std::string::npos || !number(0, x, width) || !number(x + 1, text.size(), height))
        throw Exception("malformed size '" + text + "' (expected WIDTHxHEIGHT, e.g. 1600x1000)");
    CheckSize(*width, *height);
}

QByteArray RenderPlot(const std::string& format, int width, int height, const PlotDrawing& draw) {
    CheckSize(width, height);
    const std::string ext = format;
    const QRectF area(0, 0, width, height);
    QByteArray bytes;
    if (ext == "png") {
        QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        {
            QPainter p(&image);
            draw(p, area);
        }
        QBuffer buf(&bytes);
        buf.open(QIODevice::WriteOnly);
        if (!image.save(&buf, "PNG")) throw Exception("cannot encode the PNG picture");
    } else if (ext == "svg") {
        QBuffer buf(&bytes);
        buf.open(QIODevice::WriteOnly);
        QSvgGenerator svg;
        svg.setOutputDevice(&buf);
        svg.setSize(QSize(width, height));
        svg.setViewBox(area);
        svg.setResolution(96);
        svg.setTitle("Quantora plot");
        QPainter p;
        if (!p.begin(&svg)) throw Exception("cannot start the SVG picture");
        try {
            draw(p, area);
        } catch (...) {
            p.end();
            throw;
        }
        p.end();
    } else {
        throw Exception("unknown picture format '" + format + "' (use png or svg)");
    }
    return bytes;
}

void SavePlot(const std::string& path, int width, int height, const PlotDrawing& draw) {
    const std::string ext = Extension(path);
    if (ext != "png" && ext != "svg")
        throw Exception("unknown picture format of '" + path + "' (use .png or .svg)");
    WriteFile(path, RenderPlot(ext, width, height, draw));
}

void PrepareQtRuntimeDir() {
    if (std::getenv("XDG_RUNTIME_DIR")) return;
    const std::string dir = "/tmp/runtime-" + std::to_string(getuid());
    if ((mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) && access(dir.c_str(), W_OK) == 0)
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 0);
}

HeadlessGui::HeadlessGui() {
    if (QCoreApplication::instance()) return;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    PrepareQtRuntimeDir();
    static int argc = 1;
    static char name[] = "quantora-plots";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QGuiApplication>(argc, argv);
}

HeadlessGui::~HeadlessGui() = default;

}  // namespace quantora::plots
