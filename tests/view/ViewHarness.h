#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "view/ImagePlacement.h"
#include "view/TerminalViewCore.h"

namespace tarvik::viewtest {

// A host that records what the view tells it.
struct RecordingHost : TerminalViewDelegate {
    std::string sent;
    int sends = 0;
    std::vector<std::pair<int, int>> sizes;
    std::vector<double> scrolls;
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> links;
    int bells = 0;
    std::string title;

    void send(TerminalViewCore&, std::span<const std::uint8_t> data) override {
        sent.append(data.begin(), data.end());
        ++sends;
    }
    void sizeChanged(TerminalViewCore&, int cols, int rows) override { sizes.emplace_back(cols, rows); }
    void scrolled(TerminalViewCore&, double position) override { scrolls.push_back(position); }
    void requestOpenLink(TerminalViewCore&, const std::string& link,
                         const std::vector<std::pair<std::string, std::string>>& params) override {
        links.emplace_back(link, params);
    }
    void bell(TerminalViewCore&) override { ++bells; }
    void setTerminalTitle(TerminalViewCore&, const std::string& text) override { title = text; }
    std::string take() { return std::exchange(sent, {}); }
};

// Pictures kept as their size; a strip remembers where its picture was placed.
struct MemoryImage : ViewImage {
    int w;
    int h;
    MemoryImage(int width, int height) : w(width), h(height) {}
    int width() const override { return w; }
    int height() const override { return h; }
};

struct MemoryStrip : StripImage {
    StripPlacement placement;
    explicit MemoryStrip(const StripPlacement& p) : StripImage(p.stripWidth, p.stripHeight), placement(p) {}
};

struct MemoryImageFactory : ImageFactory {
    bool failStrips = false;
    std::unique_ptr<ViewImage> fromBitmap(std::span<const std::uint8_t> rgba, int width, int height) override {
        if (rgba.size() < static_cast<std::size_t>(width) * height * 4) return nullptr;
        return std::make_unique<MemoryImage>(width, height);
    }
    // "WxH" stands for an image file of that size; anything else does not decode.
    std::unique_ptr<ViewImage> decode(std::span<const std::uint8_t> data) override {
        int w = 0, h = 0;
        if (std::sscanf(std::string(data.begin(), data.end()).c_str(), "%dx%d", &w, &h) != 2) return nullptr;
        return std::make_unique<MemoryImage>(w, h);
    }
    std::shared_ptr<StripImage> makeStrip(const ViewImage&, const StripPlacement& placement) override {
        if (failStrips) return nullptr;
        return std::make_shared<MemoryStrip>(placement);
    }
};

struct TestSurface : ViewSurface {
    double width = 0;
    double height = 0;
    double scale = 1;
    std::optional<std::string> clipboard;
    std::optional<PixelRect> lastRect;
    std::vector<PixelRect> rects; // every rectangle invalidated
    int fullRedraws = 0;
    bool pixelsMovable = false;
    std::vector<std::pair<PixelRect, double>> moves;
    bool tracking = false;
    std::optional<std::string> preview;
    MemoryImageFactory images;

    double viewWidth() const override { return width; }
    double viewHeight() const override { return height; }
    double backingScale() const override { return scale; }
    void setNeedsDisplay() override { ++fullRedraws; }
    void setNeedsDisplay(const PixelRect& rect) override {
        lastRect = rect;
        rects.push_back(rect);
    }
    bool canMovePixels() const override { return pixelsMovable; }
    void movePixels(const PixelRect& area, double dy) override { moves.emplace_back(area, dy); }
    void setPointerTracking(bool on) override { tracking = on; }
    void setClipboardText(const std::string& text) override { clipboard = text; }
    std::optional<std::string> clipboardText() override { return clipboard; }
    void showLinkPreview(const std::optional<std::string>& url) override { preview = url; }
    ImageFactory* imageFactory() override { return &images; }
};

// Keeps scheduled tasks until the test runs them: the clock only moves when told to.
struct FakeTimer : DisplayTimer {
    std::vector<std::pair<std::chrono::nanoseconds, std::function<void()>>> tasks;
    std::chrono::steady_clock::time_point clock{}; // stands still until a test moves it
    void runAfter(std::chrono::nanoseconds delay, std::function<void()> task) override {
        tasks.emplace_back(delay, std::move(task));
    }
    std::chrono::steady_clock::time_point now() const override { return clock; }
    void runAll() {
        auto due = std::exchange(tasks, {});
        for (auto& task : due) task.second();
    }
};

// A view of cols x rows cells of 8 x 16 points.
struct ViewFixture {
    static constexpr double cellWidth = 8;
    static constexpr double cellHeight = 16;

    RecordingHost host;
    TestSurface surface;
    FakeTimer timer;
    std::unique_ptr<TerminalViewCore> view;

    explicit ViewFixture(int cols = 20, int rows = 5, int scrollback = 100) {
        surface.width = cols * cellWidth;
        surface.height = rows * cellHeight;
        TerminalOptions options;
        options.cols = cols;
        options.rows = rows;
        options.scrollback = scrollback;
        view = std::make_unique<TerminalViewCore>(host, surface, timer, options);
        view->setFontMetrics(FontMetrics{cellWidth, 12, 4, 0});
    }
    Terminal& terminal() { return view->terminal(); }
    void feed(std::string_view bytes) { view->feed(bytes); }
};

} // namespace tarvik::viewtest
