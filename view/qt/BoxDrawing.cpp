#include "view/qt/BoxDrawing.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>

namespace tarvik {

namespace {

enum Weight : int { none = 0, light = 1, heavy = 2, doubled = 3 };
enum Arm : int { up = 0, right = 1, down = 2, left = 3 };

// Arms of U+2500 ... U+257F, four digits each in the order up, right, down, left
// (0 none, 1 light, 2 heavy, 3 double). Dashes, arcs and diagonals are shaped below.
constexpr const char* armTable[128] = {
    "0101", "0202", "1010", "2020", "0101", "0202", "1010", "2020", // 2500
    "0101", "0202", "1010", "2020", "0110", "0210", "0120", "0220", // 2508
    "0011", "0012", "0021", "0022", "1100", "1200", "2100", "2200", // 2510
    "1001", "1002", "2001", "2002", "1110", "1210", "2110", "1120", // 2518
    "2120", "2210", "1220", "2220", "1011", "1012", "2011", "1021", // 2520
    "2021", "2012", "1022", "2022", "0111", "0112", "0211", "0212", // 2528
    "0121", "0122", "0221", "0222", "1101", "1102", "1201", "1202", // 2530
    "2101", "2102", "2201", "2202", "1111", "1112", "1211", "1212", // 2538
    "2111", "1121", "2121", "2112", "2211", "1122", "1221", "2212", // 2540
    "1222", "2122", "2221", "2222", "0101", "0202", "1010", "2020", // 2548
    "0303", "3030", "0310", "0130", "0330", "0013", "0031", "0033", // 2550
    "1300", "3100", "3300", "1003", "3001", "3003", "1310", "3130", // 2558
    "3330", "1013", "3031", "3033", "0313", "0131", "0333", "1303", // 2560
    "3101", "3303", "1313", "3131", "3333", "0110", "0011", "1001", // 2568
    "1100", "0000", "0000", "0000", "0001", "1000", "0100", "0010", // 2570
    "0002", "2000", "0200", "0020", "0201", "1020", "0102", "2010", // 2578
};

// Dashes per cell of the dashed lines; 0 for solid ones.
int dashCount(char32_t c) {
    if (c >= 0x2504 && c <= 0x2507) return 3;
    if (c >= 0x2508 && c <= 0x250B) return 4;
    if (c >= 0x254C && c <= 0x254F) return 2;
    return 0;
}

// Cell geometry in logical units, with every edge on a device pixel.
struct Geometry {
    double dpr;
    QRectF cell;
    double lw;     // light line thickness
    double cx, cy; // centre lines (of a light line)

    double snap(double v) const { return std::round(v * dpr) / dpr; }
};

Geometry makeGeometry(const QPainter& painter, const QRectF& cell) {
    Geometry g;
    const QPaintDevice* device = painter.device();
    g.dpr = device ? std::max(1.0, device->devicePixelRatioF()) : 1.0;
    g.cell = cell;
    // From the row height alone: the cells of a row differ by a pixel in width where
    // their edges are rounded, and a thickness taken from the width would step from
    // cell to cell along a line.
    const double devicePixels = std::round(cell.height() / 2 * g.dpr / 9.0);
    g.lw = std::max(1.0, devicePixels) / g.dpr;
    g.cx = g.snap(cell.left() + (cell.width() - g.lw) / 2) + g.lw / 2;
    g.cy = g.snap(cell.top() + (cell.height() - g.lw) / 2) + g.lw / 2;
    return g;
}

class Lines {
  public:
    Lines(QPainter& painter, const Geometry& g, const QColor& color, char32_t c)
        : painter_(painter), g_(g), color_(color) {
        const char* digits = armTable[c - 0x2500];
        for (int i = 0; i < 4; ++i)
            arms_[i] = static_cast<Weight>(digits[i] - '0');
        dashes_ = dashCount(c);
    }

    void draw() {
        for (int arm = 0; arm < 4; ++arm)
            if (arms_[arm] != none) drawArm(static_cast<Arm>(arm));
    }

  private:
    double thickness(Weight w) const { return w == heavy ? 2 * g_.lw : g_.lw; }
    double gap() const { return g_.lw; } // centre offset of a double line's two strokes
    bool horizontal(Arm arm) const { return arm == left || arm == right; }
    Arm opposite(Arm arm) const { return static_cast<Arm>((arm + 2) % 4); }
    // The perpendicular arm on the side of negative (before) or positive offsets.
    Arm sideArm(Arm arm, bool before) const {
        if (horizontal(arm)) return before ? up : down;
        return before ? left : right;
    }

    // How far past the centre line a stroke at `offset` of `arm` reaches.
    double reach(Arm arm, double offset) const {
        const Weight before = arms_[sideArm(arm, true)];
        const Weight after = arms_[sideArm(arm, false)];
        const double half = g_.lw / 2;
        if (arms_[arm] != doubled) {
            if (before == doubled || after == doubled) {
                // Through a double line that continues, stop at its near stroke; at a
                // double line that ends here, reach its far stroke to close the corner.
                return (before == doubled && after == doubled) ? -gap() + half : gap() + half;
            }
            return std::max(before == none ? 0.0 : thickness(before) / 2,
                            after == none ? 0.0 : thickness(after) / 2);
        }
        const bool isBefore = offset < 0;
        const Weight side = isBefore ? before : after;
        const Weight other = isBefore ? after : before;
        if (side != none) return side == doubled ? -gap() + half : half;
        if (arms_[opposite(arm)] != none) return 0; // runs on into the opposite arm
        if (other == none) return 0;
        return other == doubled ? gap() + half : half; // outer stroke of a corner
    }

    void drawArm(Arm arm) {
        const Weight w = arms_[arm];
        if (w == doubled) {
            stroke(arm, -gap(), g_.lw);
            stroke(arm, gap(), g_.lw);
        } else {
            stroke(arm, 0, thickness(w));
        }
    }

    // One stroke of an arm from the cell's edge to `reach` past the centre.
    void stroke(Arm arm, double offset, double width) {
        const QRectF& c = g_.cell;
        const double r = reach(arm, offset);
        const double across0 = (horizontal(arm) ? g_.cy : g_.cx) + offset - width / 2;
        const double a0 = g_.snap(across0), a1 = g_.snap(across0 + width);
        double b0 = 0, b1 = 0; // along the arm
        // clang-format off
        switch (arm) {
        case up: b0 = c.top(), b1 = g_.cy + r; break;
        case down: b0 = g_.cy - r, b1 = c.bottom(); break;
        case left: b0 = c.left(), b1 = g_.cx + r; break;
        case right: b0 = g_.cx - r, b1 = c.right(); break;
        }
        // clang-format on
        b0 = g_.snap(b0), b1 = g_.snap(b1);
        if (dashes_ > 0) {
            // Dashed lines cover the whole cell, so both arms of a dashed character draw once.
            if (arm == right || arm == down) return;
            const double start = horizontal(arm) ? c.left() : c.top();
            const double length = horizontal(arm) ? c.width() : c.height();
            const double slot = length / dashes_;
            const double dashGap = std::max(1.0 / g_.dpr, g_.snap(slot * 0.4));
            for (int i = 0; i < dashes_; ++i) {
                const double d0 = g_.snap(start + i * slot + dashGap / 2);
                const double d1 = g_.snap(start + (i + 1) * slot - dashGap / 2);
                fill(arm, a0, a1, d0, d1);
            }
            return;
        }
        fill(arm, a0, a1, b0, b1);
    }

    void fill(Arm arm, double a0, double a1, double b0, double b1) {
        if (b1 <= b0 || a1 <= a0) return;
        if (horizontal(arm))
            painter_.fillRect(QRectF(b0, a0, b1 - b0, a1 - a0), color_);
        else
            painter_.fillRect(QRectF(a0, b0, a1 - a0, b1 - b0), color_);
    }

    QPainter& painter_;
    const Geometry& g_;
    QColor color_;
    std::array<Weight, 4> arms_{};
    int dashes_ = 0;
};

void drawArc(QPainter& painter, const Geometry& g, char32_t c, const QColor& color) {
    const QRectF& cell = g.cell;
    const double r = std::min(cell.width(), cell.height()) / 2;
    QPainterPath path;
    // Each arc runs from the middle of one edge to the middle of another, bending round
    // the centre with a radius of half the cell's shorter side.
    const bool toRight = c == 0x256D || c == 0x2570;
    const bool fromBottom = c == 0x256D || c == 0x256E;
    const double vy = fromBottom ? cell.bottom() : cell.top();
    const double hx = toRight ? cell.right() : cell.left();
    const double sy = fromBottom ? 1 : -1, sx = toRight ? 1 : -1;
    path.moveTo(g.cx, vy);
    path.lineTo(g.cx, g.cy + sy * r);
    path.quadTo(g.cx, g.cy, g.cx + sx * r, g.cy);
    path.lineTo(hx, g.cy);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.strokePath(path, QPen(color, g.lw, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
}

void drawDiagonals(QPainter& painter, const Geometry& g, char32_t c, const QColor& color) {
    const QRectF& cell = g.cell;
    // Extended past the cell and clipped to it, so diagonals of neighbouring cells meet.
    const double ex = cell.width() / 2, ey = cell.height() / 2;
    painter.setClipRect(cell, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(color, g.lw * 1.2, Qt::SolidLine, Qt::FlatCap));
    if (c == 0x2571 || c == 0x2573)
        painter.drawLine(QPointF(cell.right() + ex, cell.top() - ey),
                         QPointF(cell.left() - ex, cell.bottom() + ey));
    if (c == 0x2572 || c == 0x2573)
        painter.drawLine(QPointF(cell.left() - ex, cell.top() - ey),
                         QPointF(cell.right() + ex, cell.bottom() + ey));
}

void drawBlock(QPainter& painter, const Geometry& g, char32_t c, const QColor& color) {
    const QRectF& cell = g.cell;
    const double l = cell.left(), t = cell.top(), w = cell.width(), h = cell.height();
    const auto rect = [&](double x0, double y0, double x1, double y1) {
        x0 = g.snap(x0), x1 = g.snap(x1), y0 = g.snap(y0), y1 = g.snap(y1);
        if (x1 > x0 && y1 > y0) painter.fillRect(QRectF(x0, y0, x1 - x0, y1 - y0), color);
    };
    if (c == 0x2580) return rect(l, t, l + w, t + h / 2);
    if (c >= 0x2581 && c <= 0x2588) return rect(l, t + h * (1 - (c - 0x2580) / 8.0), l + w, t + h);
    if (c >= 0x2589 && c <= 0x258F) return rect(l, t, l + w * (0x2590 - c) / 8.0, t + h);
    if (c == 0x2590) return rect(l + w / 2, t, l + w, t + h);
    if (c >= 0x2591 && c <= 0x2593) {
        // Shades as translucent fills: a dot pattern would beat against the pixel grid.
        QColor shaded = color;
        shaded.setAlphaF(static_cast<float>(color.alphaF() * (c - 0x2590) / 4.0));
        painter.fillRect(QRectF(g.snap(l), g.snap(t), g.snap(l + w) - g.snap(l), g.snap(t + h) - g.snap(t)),
                         shaded);
        return;
    }
    if (c == 0x2594) return rect(l, t, l + w, t + h / 8);
    if (c == 0x2595) return rect(l + w * 7 / 8, t, l + w, t + h);
    // Quadrants: bit 1 upper left, 2 upper right, 4 lower left, 8 lower right.
    static constexpr int quadrants[10] = {4, 8, 1, 13, 9, 7, 11, 2, 6, 14};
    const int bits = quadrants[c - 0x2596];
    const double mx = l + w / 2, my = t + h / 2;
    if (bits & 1) rect(l, t, mx, my);
    if (bits & 2) rect(mx, t, l + w, my);
    if (bits & 4) rect(l, my, mx, t + h);
    if (bits & 8) rect(mx, my, l + w, t + h);
}

} // namespace

bool BoxDrawing::draw(QPainter& painter, char32_t c, const QRectF& cell, const QColor& color) {
    if (!covers(c)) return false;
    const Geometry g = makeGeometry(painter, cell);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (c >= 0x2580)
        drawBlock(painter, g, c, color);
    else if (c >= 0x256D && c <= 0x2570)
        drawArc(painter, g, c, color);
    else if (c >= 0x2571 && c <= 0x2573)
        drawDiagonals(painter, g, c, color);
    else
        Lines(painter, g, color, c).draw();
    painter.restore();
    return true;
}

} // namespace tarvik
