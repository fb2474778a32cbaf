#pragma once

#include <QApplication>
#include <QImage>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "view/qt/TerminalView.h"

namespace tarvik::qttest {

// A host recording what the widget sends and tells.
struct RecordingHost : TerminalViewDelegate {
    std::string sent;
    std::string title;
    int bells = 0;
    std::vector<std::pair<int, int>> sizes;

    void send(TerminalViewCore&, std::span<const std::uint8_t> data) override { sent.append(data.begin(), data.end()); }
    void setTerminalTitle(TerminalViewCore&, const std::string& text) override { title = text; }
    void bell(TerminalViewCore&) override { ++bells; }
    void sizeChanged(TerminalViewCore&, int cols, int rows) override { sizes.emplace_back(cols, rows); }
    std::string take() { return std::exchange(sent, {}); }
};

// A widget of cols x rows cells with its host.
struct Widget {
    RecordingHost host;
    std::unique_ptr<TerminalView> view;

    explicit Widget(int cols = 40, int rows = 10, int scrollback = 500) {
        TerminalOptions options;
        options.cols = cols;
        options.rows = rows;
        options.scrollback = scrollback;
        view = std::make_unique<TerminalView>(host, options);
        view->resizeToGrid(cols, rows);
    }
    TerminalView& operator*() { return *view; }
    TerminalView* operator->() { return view.get(); }
    CellMetrics cell() const { return view->cellMetrics(); }
    // The centre of a cell in widget coordinates.
    QPoint centre(int col, int row) const {
        return QPoint(static_cast<int>((col + 0.5) * cell().width), static_cast<int>((row + 0.5) * cell().height));
    }
};

inline QRgb pixelAt(const QImage& image, double x, double y) {
    const double ratio = image.devicePixelRatio();
    return image.pixel(static_cast<int>(x * ratio), static_cast<int>(y * ratio)) & 0xffffff;
}

inline QRgb rgbOf(const Color& color) {
    return qRgb(color.red >> 8, color.green >> 8, color.blue >> 8);
}

} // namespace tarvik::qttest
