#include "tools/ScreenReport.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "terminal/TextExtraction.h"

namespace tarvik {

namespace {

using nlohmann::ordered_json;

const BufferLine* liveLine(const Terminal& terminal, int row) {
    const Buffer& buffer = terminal.buffer();
    const int index = buffer.yBase() + row;
    if (index < 0 || index >= buffer.lines().count()) return nullptr;
    return &buffer.lines()[index];
}

ordered_json colorJson(const Attribute::Color& color) {
    switch (color.kind()) {
    case Attribute::Color::Kind::ansi256:
        return color.code();
    case Attribute::Color::Kind::trueColor: {
        char text[8];
        std::snprintf(text, sizeof text, "#%02x%02x%02x", color.red(), color.green(), color.blue());
        return text;
    }
    case Attribute::Color::Kind::defaultInvertedColor:
        return "inverted";
    case Attribute::Color::Kind::defaultColor:
        break;
    }
    return "default";
}

ordered_json styleJson(CharacterStyle style) {
    static constexpr std::pair<CharacterStyle, const char*> names[] = {
        {CharacterStyle::bold, "bold"},           {CharacterStyle::dim, "dim"},
        {CharacterStyle::italic, "italic"},       {CharacterStyle::underline, "underline"},
        {CharacterStyle::blink, "blink"},         {CharacterStyle::inverse, "inverse"},
        {CharacterStyle::invisible, "invisible"}, {CharacterStyle::crossedOut, "crossedOut"},
    };
    ordered_json list = ordered_json::array();
    for (const auto& [bit, name] : names)
        if (style.contains(bit)) list.push_back(name);
    return list;
}

// A hyperlink payload is "params;URI"; the URI may itself contain ';'.
ordered_json linkJson(const CharData& cell, const CellTables& tables) {
    const std::string* payload = cell.getPayload(tables);
    if (!payload) return nullptr;
    const auto separator = payload->find(';');
    if (separator == std::string::npos) return nullptr;
    return payload->substr(separator + 1);
}

ordered_json cellJson(const CharData& cell, const CellTables& tables) {
    ordered_json out;
    out["ch"] = cell.code() == 0 ? std::string() : cell.getCharacter(tables);
    out["width"] = cell.width();
    out["fg"] = colorJson(cell.attribute.fg);
    out["bg"] = colorJson(cell.attribute.bg);
    out["style"] = styleJson(cell.attribute.style);
    out["link"] = linkJson(cell, tables);
    return out;
}

ordered_json cellsJson(const Terminal& terminal) {
    ordered_json rows = ordered_json::array();
    for (int row = 0; row < terminal.rows(); ++row) {
        ordered_json cells = ordered_json::array();
        if (const BufferLine* line = liveLine(terminal, row))
            for (int col = 0; col < terminal.cols(); ++col)
                cells.push_back(cellJson((*line)[col], terminal.tables()));
        rows.push_back(std::move(cells));
    }
    return rows;
}

} // namespace

std::vector<std::string> screenLines(const Terminal& terminal) {
    std::vector<std::string> lines;
    for (int row = 0; row < terminal.rows(); ++row) {
        const BufferLine* line = liveLine(terminal, row);
        lines.push_back(line ? rowText(*line, terminal.tables()) : std::string());
    }
    return lines;
}

std::vector<std::string> historyLines(const Terminal& terminal) {
    const Buffer& buffer = terminal.buffer();
    std::vector<std::string> lines;
    const int end = std::min(buffer.yBase(), buffer.lines().count());
    for (int index = 0; index < end; ++index)
        lines.push_back(rowText(buffer.lines()[index], terminal.tables()));
    return lines;
}

std::string screenAsText(const Terminal& terminal) {
    std::string out;
    for (const std::string& line : screenLines(terminal))
        out += line + '\n';
    const auto [col, row] = terminal.getCursorLocation();
    out += "cursor " + std::to_string(row + 1) + ' ' + std::to_string(col + 1) + '\n';
    return out;
}

std::string screenAsJson(const Terminal& terminal, const CaptureDelegate& capture) {
    const auto [col, row] = terminal.getCursorLocation();
    ordered_json out;
    out["cols"] = terminal.cols();
    out["rows"] = terminal.rows();
    out["cursor"] = {{"row", row + 1}, {"col", col + 1}};
    out["title"] = terminal.terminalTitle();
    out["lines"] = screenLines(terminal);
    out["cells"] = cellsJson(terminal);
    out["scrollback"] = historyLines(terminal);
    out["replies"] = base64Encode(capture.replies());
    ordered_json images = ordered_json::array();
    for (const CapturedImage& image : capture.images())
        images.push_back({{"width", image.width}, {"height", image.height}, {"hash", image.pixelHash}});
    out["images"] = std::move(images);
    // Program output is not always valid UTF-8 (titles, broken sequences): replace
    // rather than fail, since a report is wanted whatever the child wrote.
    return out.dump(-1, ' ', false, ordered_json::error_handler_t::replace) + '\n';
}

std::string screenReport(const Terminal& terminal, const CaptureDelegate& capture, ReportFormat format) {
    return format == ReportFormat::json ? screenAsJson(terminal, capture) : screenAsText(terminal);
}

std::string base64Encode(std::span<const uint8_t> bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
        for (int shift : {18, 12, 6, 0})
            out += alphabet[(v >> shift) & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t v = uint32_t(bytes[i]) << 16;
        if (rest == 2) v |= uint32_t(bytes[i + 1]) << 8;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += rest == 2 ? alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

} // namespace tarvik
