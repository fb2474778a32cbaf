#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "terminal/SixelDcsHandler.h"
#include "terminal/Terminal.h"

namespace tarvik {
namespace {

struct Image {
    std::vector<uint8_t> bytes;
    int width = 0;
    int height = 0;

    std::vector<uint8_t> pixel(int x, int y) const {
        const auto at = bytes.begin() + (static_cast<std::ptrdiff_t>(y) * width + x) * 4;
        return std::vector<uint8_t>(at, at + 4);
    }
};

struct ImageHost : TerminalDelegate {
    void send(Terminal&, std::span<const uint8_t>) override {}
    std::vector<Image> images;
    void createImageFromBitmap(Terminal&, std::span<const uint8_t> bytes, int width, int height) override {
        images.push_back(Image{std::vector<uint8_t>(bytes.begin(), bytes.end()), width, height});
    }
};

using Rgba = std::vector<uint8_t>;
const Rgba red{255, 0, 0, 255};
const Rgba green{0, 255, 0, 255};
const Rgba clear{0, 0, 0, 0};

struct SixelTest : ::testing::Test {
    ImageHost host;
    Terminal t{host};

    // Sends one DCS q string; returns the image the host got, if exactly one.
    const Image* decode(const std::string& data) {
        host.images.clear();
        t.feed("\x1bPq" + data + "\x1b\\");
        return host.images.size() == 1 ? &host.images.front() : nullptr;
    }
    Rgba paletteEntry(int index) const {
        const Color& c = t.defaultAnsiColors[static_cast<std::size_t>(index)];
        return Rgba{static_cast<uint8_t>(c.red >> 8), static_cast<uint8_t>(c.green >> 8),
                    static_cast<uint8_t>(c.blue >> 8), 255};
    }
};

TEST_F(SixelTest, DecodesSizesAndColours) {
    struct Case {
        const char* data;
        int width;
        int height;
        Position probe; // x, y of a pixel to check
        Rgba colour;
    };
    const Case cases[] = {
        {"#0;2;100;0;0~-", 1, 6, {0, 5}, red},
        // Undefined registers take the palette the terminal was built with.
        {"#1~", 1, 6, {0, 5}, paletteEntry(1)},
        // Without a colour introducer there is no image, but the host still hears of it.
        {"", 0, 0, {}, {}},
        {"~~~", 0, 0, {}, {}},
        {"#", 0, 0, {}, {}},
        {"#0;2;100;0;0!5@", 5, 1, {4, 0}, red},
        // '?' sets no bit: empty bands add no height.
        {"#0?-?", 1, 0, {0, 0}, {}},
        // Raster attributes come before the first colour and do not size the image.
        {"\"1;1;100;100#0;2;100;0;0~", 1, 6, {0, 0}, red},
        // A band wider than the earlier ones at the very end still sets the width.
        {"#0;2;100;0;0~-~~~", 3, 12, {2, 11}, red},
        {"#0;2;100;0;0~-~~~", 3, 12, {2, 0}, clear},
        {"#1;1;120;50;100~", 1, 6, {0, 0}, red},
        {"#1;1;0;50;100~", 1, 6, {0, 0}, {0, 0, 255, 255}},
        {"#1;1;240;50;100~", 1, 6, {0, 0}, green},
        {"#1;1;77;100;30~", 1, 6, {0, 0}, {255, 255, 255, 255}},
        {"#1;1;77;50;0~", 1, 6, {0, 0}, {127, 127, 127, 255}},
        // Percentages are clamped, not wrapped.
        {"#1;2;250;0;0~", 1, 6, {0, 0}, red},
        // '$' returns to the band's start: the second colour paints over the first.
        {"#1;2;100;0;0~$#2;2;0;100;0@", 1, 6, {0, 0}, green},
        {"#1;2;100;0;0~$#2;2;0;100;0@", 1, 6, {0, 1}, red},
        // Registers beyond the palette without a definition are transparent.
        {"#300~", 1, 6, {0, 0}, clear},
        // An unknown colour space or a short list defines nothing.
        {"#300;3;100;0;0~", 1, 6, {0, 0}, clear},
        {"#300;2;100;0~", 1, 6, {0, 0}, clear},
        // A bare colour introducer ends decoding with what was drawn.
        {"#0;2;100;0;0~~#~~~~", 2, 6, {1, 5}, red},
        // Repeat count 0 draws nothing, moves nothing and adds no height.
        {"#0;2;100;0;0!0~@", 1, 1, {0, 0}, red},
        // Numbers too large for any register saturate instead of wrapping round.
        {"#99999999999999999999999;2;100;0;0~", 1, 6, {0, 0}, red},
    };
    for (const Case& c : cases) {
        const Image* image = decode(c.data);
        ASSERT_NE(image, nullptr) << c.data;
        EXPECT_EQ(image->width, c.width) << c.data;
        EXPECT_EQ(image->height, c.height) << c.data;
        EXPECT_EQ(image->bytes.size(), static_cast<std::size_t>(c.width * c.height * 4)) << c.data;
        if (c.width > 0 && c.height > 0) {
            EXPECT_EQ(image->pixel(c.probe.col, c.probe.row), c.colour) << c.data;
        }
    }
}

TEST_F(SixelTest, RegisterDefinitionsBelongToOneImage) {
    decode("#1;2;0;100;0~");
    const Image* image = decode("#1~");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixel(0, 5), paletteEntry(1));
}

TEST_F(SixelTest, DataSplitAnywhereDecodesTheSame) {
    const std::string data = "\x1bPq\"1;1;4;12#0;2;100;0;0#1;1;240;50;100#0!3~$#1@-#0!4N\x1b\\";
    t.feed(data);
    ASSERT_EQ(host.images.size(), 1u);
    const Image whole = host.images.front();
    ASSERT_EQ(whole.width * whole.height, 40);
    for (std::size_t step : {1u, 2u, 3u, 7u}) {
        host.images.clear();
        for (std::size_t i = 0; i < data.size(); i += step)
            t.feed(std::string_view(data).substr(i, step));
        ASSERT_EQ(host.images.size(), 1u) << step;
        EXPECT_EQ(host.images.front().bytes, whole.bytes) << step;
    }
}

TEST_F(SixelTest, OversizedImagesAreDropped) {
    struct Case {
        std::string data;
        bool kept;
    };
    const Case cases[] = {
        {"#0!10000~", true},
        {"#0!10001~", false},
        {"#0!99999999999999999999999999~", false},
        {"#0!2147483647~!2147483647~!2147483647~", false},
        {std::string("#0") + std::string(1667, '-') + "~", false},
        // Each side within bounds, but the bitmap beyond 64 MiB.
        {"#0!4096~" + std::string(682, '-') + "N", true},
        {"#0!4096~" + std::string(682, '-') + "^", false},
    };
    for (const Case& c : cases) {
        host.images.clear();
        t.feed("\x1bPq" + c.data + "\x1b\\");
        EXPECT_EQ(host.images.size(), c.kept ? 1u : 0u) << c.data.substr(0, 12) << " " << c.data.size();
    }
    // The terminal goes on working after a dropped image.
    ASSERT_NE(decode("#0;2;100;0;0~"), nullptr);
    EXPECT_EQ(host.images.front().pixel(0, 0), red);
}

TEST_F(SixelTest, RegisterTableHasAFixedCapacity) {
    std::string data;
    for (int reg = 1000; reg < 1000 + static_cast<int>(SixelDcsHandler::maxRegisters) + 1; ++reg)
        data += "#" + std::to_string(reg) + ";2;100;0;0";
    const Image* image =
        decode(data + "#1000~" + "#" + std::to_string(1000 + SixelDcsHandler::maxRegisters) + "@");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixel(0, 0), red);
    EXPECT_EQ(image->pixel(1, 0), clear); // the register past capacity stayed undefined
}

TEST(SixelHandler, OwnDataBoundDropsTheWholeString) {
    ImageHost host;
    Terminal t(host);
    SixelDcsHandler handler(t);
    handler.hook({}, {}, 'q');
    const std::vector<uint8_t> chunk(SixelDcsHandler::maxDataBytes / 2, '~');
    handler.put(std::vector<uint8_t>{'#', '0'});
    handler.put(chunk);
    handler.put(chunk);
    handler.unhook();
    EXPECT_TRUE(host.images.empty());
}

struct Strip : TerminalImage {
    int pixelWidth() const override { return 8; }
    int pixelHeight() const override { return 16; }
    int col() const override { return 0; }
    void setCol(int) override {}
};

TEST(LineImages, CopiesOfALineDoNotTakeItsStrips) {
    BufferLine line(4), other(4);
    line.attach(std::make_shared<Strip>());
    line.attach(std::make_shared<Strip>());
    ASSERT_EQ(line.images->size(), 2u);
    other.copyFrom(line);
    EXPECT_FALSE(other.images.has_value());
    EXPECT_FALSE(BufferLine::from(line).images.has_value());
}

} // namespace
} // namespace tarvik
