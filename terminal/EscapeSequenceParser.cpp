#include "terminal/EscapeSequenceParser.h"

#include <cstdio>

#include "terminal/ByteScan.h"

namespace tarvik {

namespace {

using S = ParserState;
using A = ParserAction;

constexpr uint8_t BEL = 0x07, CAN = 0x18, SUB = 0x1A, ESC = 0x1B;
constexpr uint8_t executeInGround = TransitionTable::pack(A::execute, S::ground);

bool isDigit(uint8_t b) {
    return static_cast<unsigned>(b - '0') < 10u;
}

// Digits and both separators: what a parameter list is made of once it has started.
bool isParameterByte(uint8_t b) {
    return static_cast<unsigned>(b - '0') <= static_cast<unsigned>(';' - '0');
}

bool isPrivateMarker(uint8_t b) {
    return b >= '<' && b <= '?';
}

bool isFinal(uint8_t b) {
    return b >= 0x40 && b <= 0x7E;
}

std::string_view asKey(const std::vector<uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

} // namespace

int64_t parseInt(std::span<const uint8_t> bytes) {
    int64_t value = 0;
    for (uint8_t b : bytes) {
        if (!isDigit(b)) break;
        value = value * 10 + (b - '0');
        if (value >= EscapeSequenceParser::parameterLimit) return 0;
    }
    return value;
}

EscapeSequenceParser::EscapeSequenceParser() : table_(buildVt500TransitionTable()) {
    // Reserved up front so that no byte of a sequence allocates.
    collect_.reserve(maxCollect + 1);
    saved_.collect.reserve(maxCollect + 1);
    pars_.push_back(0);

    // The ESC \ that ends an OSC or DCS string arrives as an ESC sequence of its own.
    escHandlers.emplace("\\", [](Bytes, uint8_t) {});
    errorHandler = [](ParsingState state) { return state; };
    csiHandlerFallback = [](Params, Bytes, uint8_t final) {
        std::printf("Cannot handle ESC-%d\n", static_cast<int>(final));
    };
}

void EscapeSequenceParser::reset() {
    currentState_ = initialState;
    osc_.clear();
    pars_.clear();
    pars_.push_back(0);
    collect_.clear();
    oscInPayload_ = false;
    activeDcsHandler_ = nullptr;
    dcsLength_ = 0;
    if (printStateReset) printStateReset();
}

void EscapeSequenceParser::parse(Bytes data) {
    if (data.empty()) return;
    checkpoint();
    Chunk c{data};
    const uint8_t* p = data.data();
    const std::size_t n = data.size();
    ParserState state = currentState_;

    for (std::size_t i = 0; i < n; ++i) {
        const uint8_t code = p[i];

        // Text is by far the most common input: hand whole runs over without
        // touching the table. C1 bytes are text here, as they are in UTF-8.
        if (state == S::ground && code >= 0x20) {
            if (c.print < 0) {
                c.print = static_cast<int64_t>(i);
                c.printAscii = false;
            }
            // A lone character between two sequences (addressing, a colour per cell)
            // needs no scan (nor the ASCII flag: the print side looks at it anyway).
            if (i + 1 < n && p[i + 1] == ESC) continue;
            const TextRun run = textRun(p + i + 1, n - i - 1);
            // Only a run scanned whole from its start is known to be ASCII.
            c.printAscii = c.print == static_cast<int64_t>(i) && code < 0x7F && run.ascii;
            i += run.length;
            continue;
        }
        // CSI sequences come next in volume (colours, cursor moves): the common shape
        // ESC [ params final is read in one go instead of one table step per byte.
        if (state == S::ground && code == ESC && i + 1 < n && p[i + 1] == '[') {
            i = csiSequence(c, i, state);
            continue;
        }
        // Line ends and tabs, executed in place, need nothing more of a step.
        if (state == S::ground && table_.entry(state, code) == executeInGround) {
            flushPrint(c, i);
            if (const ExecuteHandler& handler = executeHandlers[code]) handler();
            continue;
        }
        // Parameters of a sequence cut by the end of the previous chunk.
        if (state == S::csiParam && isParameterByte(code)) {
            i = parameterRun(p, i, n) - 1;
            continue;
        }
        // A payload that went on past the previous chunk keeps its meaning: a
        // UTF-8 continuation byte such as 0x9C at the cut is text, not a terminator.
        if (state == S::oscString && oscInPayload_ && code != BEL && code != CAN && code != ESC) {
            i = oscBulk(c, i);
            continue;
        }

        if (!step(c, i, state)) {
            rollback();
            return;
        }
    }

    // Runs never outlive the chunk they view; the sequence itself goes on.
    if (state == S::dcsPassthrough)
        putDcs(c, n);
    else if (state == S::ground)
        flushPrint(c, n);
    // The chunk goes away; a sequence it leaves unfinished keeps its text.
    if (parsViewLength_ > 0) keepParameterView();
    currentState_ = state;
    osc_.commit();
}

// One byte through the table. Returns false when an error handler aborted the chunk.
bool EscapeSequenceParser::step(Chunk& c, std::size_t& i, ParserState& state) {
    const uint8_t code = c.data[i];
    const uint8_t entry = table_.entry(state, code);
    ParserState next = TransitionTable::nextOf(entry);
    const ParserAction action = TransitionTable::actionOf(entry);
    // DCS data already seen is delivered when a control cuts the string
    // short, as it would have been had the chunk ended just before it.
    if (state == S::dcsPassthrough && next != S::dcsPassthrough && !(action == A::error && code >= 0xA0))
        putDcs(c, i);
    switch (action) {
    case A::ignore:
        if (c.print >= 0)
            flushPrint(c, i);
        else
            putDcs(c, i);
        break;
    case A::error:
        if (!handleError(c, i, state, next)) return false;
        break;
    case A::print:
        if (c.print < 0) c.print = static_cast<int64_t>(i);
        c.printAscii = false;
        break;
    case A::execute:
        flushPrint(c, i);
        if (executeHandlers[code]) executeHandlers[code]();
        break;
    case A::oscStart:
        flushPrint(c, i);
        osc_.clear();
        oscInPayload_ = false;
        break;
    case A::oscPut:
        oscInPayload_ = true;
        i = oscBulk(c, i);
        break;
    case A::oscEnd:
        next = oscEnd(c, code, next);
        break;
    case A::csiDispatch:
        csiDispatch(code);
        break;
    case A::param:
        if (isDigit(code))
            addDigit(code);
        else
            addSeparator(code);
        break;
    case A::collect:
        addCollect(code);
        break;
    case A::escDispatch:
        escDispatch(code);
        break;
    case A::clear:
        flushPrint(c, i);
        resetSequence(c);
        break;
    case A::dcsHook:
        dcsHook(code);
        break;
    case A::dcsPut:
        if (c.dcs < 0) c.dcs = static_cast<int64_t>(i);
        break;
    case A::dcsUnhook:
        next = dcsUnhook(c, i, code, next);
        break;
    }
    state = next;
    return true;
}

// The parameters of a sequence just begun, from index j on; returns the index of the first
// byte after them. A list that ends within a word is read at once (a ':' after it leaves
// the sub-parameters to the byte loop), a longer one from a block, the rest byte by byte.
inline std::size_t EscapeSequenceParser::parameters(const uint8_t* p, std::size_t j, std::size_t n) {
    std::size_t count = 0;
    const unsigned length = n - j >= 8 ? bytescan::shortParameterList(p + j, pars_.data(), count) : 8;
    if (length == 8) return longParameters(p, j, n);
    viewParameters(p + j, length, count);
    return j + length;
}

// Out of line, so that the short lists of cursor addressing keep a small loop.
std::size_t EscapeSequenceParser::longParameters(const uint8_t* p, std::size_t j, std::size_t n) {
#if defined(__SSE2__)
    if (n - j >= 40) {
        std::size_t count = 0;
        bool colon = false;
        const unsigned length = bytescan::colourParameterList(p + j, pars_.data(), count, colon);
        if (length < 32) {
            subParameters_ = colon;
            viewParameters(p + j, length, count);
            return j + length;
        }
        pars_[0] = 0; // the list's first slot, maybe written
    }
#endif
    return parameterRun(p, j, n);
}

// A list read whole: its values are in place and its text stays in the chunk.
inline void EscapeSequenceParser::viewParameters(const uint8_t* text, std::size_t length, std::size_t count) {
    pars_.resize(count);
    parsView_ = text;
    parsViewLength_ = length;
}

// The ESC [ at index i in ground state. Does exactly what the table steps would do for
// the bytes it consumes and returns the index of the last one; anything unusual (an
// intermediate, a control, the end of the chunk) is left to the table.
std::size_t EscapeSequenceParser::csiSequence(Chunk& c, std::size_t i, ParserState& state) {
    const uint8_t* p = c.data.data();
    const std::size_t n = c.data.size();
    // ESC and [ each abandon whatever sequence came before; hearing it once is all the
    // print side needs (the table path tells it at both bytes).
    flushPrint(c, i);
    resetSequence(c, osc_.empty() && !osc_.overflowed());
    state = S::csiEntry;
    std::size_t j = i + 2;
    if (j < n && isPrivateMarker(p[j])) {
        addCollect(p[j++]);
        state = S::csiParam;
    } else if (j < n && (isDigit(p[j]) || p[j] == ';')) {
        state = S::csiParam;
    }
    if (state == S::csiParam) j = parameters(p, j, n);
    if (j < n && isFinal(p[j])) {
        state = S::ground;
        // A sequence read whole has no collected bytes and no copied text: the common
        // commands (cursor addressing above all) are called from here.
        const PlainFunction& plain = plainFunctions_[p[j]];
        if (plain && collect_.empty())
            plain(pars(), collect_);
        else
            csiDispatch(p[j]);
        return j;
    }
    return j - 1;
}

// Takes digits and separators from index j on; returns the index of the first other byte.
// The value being read and the slot it goes to stay in registers: parameters are most of
// the bytes of a colour-heavy stream.
std::size_t EscapeSequenceParser::parameterRun(const uint8_t* p, std::size_t j, std::size_t n) {
    const std::size_t start = j;
    int64_t* const first = pars_.data();
    std::size_t count = pars_.size();
    int64_t value = first[count - 1];
    while (j < n) {
        // The digits of one parameter in a loop of their own, then its separator.
        unsigned digit;
        while ((digit = static_cast<unsigned>(p[j]) - '0') < 10) {
            value = value * 10 + digit;
            if (value >= parameterLimit) value = 0;
            if (++j == n) break;
        }
        if (j == n || (p[j] != ';' && p[j] != ':')) break;
        // ':' and ';' both start a new parameter; the difference survives in parsTxt.
        // Past the bound the last slot takes every further parameter.
        subParameters_ |= p[j] == ':';
        first[count - 1] = value;
        if (count <= maxParameters) first[count++] = 0;
        value = 0;
        ++j;
    }
    first[count - 1] = value;
    pars_.resize(count);
    // The text stays in the chunk while it continues the text seen so far there.
    if (parsViewLength_ > 0 && parsView_ + parsViewLength_ != p + start) keepParameterView();
    if (parsViewLength_ == 0) parsView_ = p + start;
    const std::size_t room = maxParameterText - parsTxt_.size() - parsViewLength_;
    parsViewLength_ += std::min(room, j - start);
    return j;
}

void EscapeSequenceParser::putDcs(Chunk& c, std::size_t end) {
    if (c.dcs < 0) return;
    const auto start = static_cast<std::size_t>(c.dcs);
    c.dcs = -1;
    if (!activeDcsHandler_ || end == start) return;
    dcsLength_ += end - start;
    if (dcsLength_ > osc_.limit()) {
        // Dropped whole: the handler forgets what it has, the rest is swallowed.
        activeDcsHandler_->abandon();
        activeDcsHandler_ = nullptr;
        return;
    }
    activeDcsHandler_->put(c.data.subspan(start, end - start));
}

// Returns false when the handler asked to abort the chunk.
bool EscapeSequenceParser::handleError(Chunk& c, std::size_t i, ParserState state, ParserState& next) {
    const uint8_t code = c.data[i];
    if (code >= TransitionTable::highColumn) {
        // High bytes are UTF-8 text or string data where such data is expected.
        switch (state) {
        case S::ground:
            if (c.print < 0) c.print = static_cast<int64_t>(i);
            c.printAscii = false;
            next = state;
            return true;
        case S::csiIgnore:
        case S::dcsIgnore:
            next = state;
            return true;
        case S::dcsPassthrough:
            if (c.dcs < 0) c.dcs = static_cast<int64_t>(i);
            next = state;
            return true;
        default:
            break;
        }
    }
    // A stray control in text must not reach the print handler, and whether it
    // does must not depend on where the chunk was cut.
    if (state == S::ground) flushPrint(c, i);
    ParsingState report;
    report.position = static_cast<int64_t>(i);
    report.code = code;
    report.currentState = state;
    report.print = c.print;
    report.dcs = c.dcs;
    report.osc = osc_.bytes();
    report.collect = collect_;
    if (errorHandler) report = errorHandler(report);
    return !report.abort;
}

// Copies the payload from byte i up to the next terminator in one loop; returns
// the index of the last byte consumed. Other controls inside the payload are dropped.
std::size_t EscapeSequenceParser::oscBulk(const Chunk& c, std::size_t i) {
    const uint8_t* p = c.data.data();
    const std::size_t n = c.data.size();
    std::size_t runStart = i;
    for (std::size_t j = i; j < n; ++j) {
        const uint8_t b = p[j];
        if (b >= 0x20) continue;
        osc_.append(p + runStart, p + j);
        if (b == BEL || b == CAN || b == ESC) return j - 1;
        runStart = j + 1;
    }
    osc_.append(p + runStart, p + n);
    return n - 1;
}

ParserState EscapeSequenceParser::oscEnd(Chunk& c, uint8_t code, ParserState next) {
    const bool cancelled = code == CAN || code == SUB;
    if (!cancelled && !osc_.empty() && !osc_.overflowed()) dispatchOsc();
    // Leave ESC pending so that the backslash of ESC \ is read as its own sequence.
    if (code == ESC) next = S::escape;
    resetSequence(c);
    return next;
}

void EscapeSequenceParser::dispatchOsc() {
    const Bytes bytes = osc_.bytes();
    std::size_t semicolon = 0;
    while (semicolon < bytes.size() && bytes[semicolon] != ';')
        ++semicolon;
    const int64_t number = parseInt(bytes.first(semicolon));
    const Bytes payload = semicolon < bytes.size() ? bytes.subspan(semicolon + 1) : Bytes();
    const auto it = oscHandlers.find(number);
    if (it != oscHandlers.end()) {
        if (it->second) it->second(payload);
    } else if (oscHandlerFallback) {
        oscHandlerFallback(number, payload);
    }
}

std::optional<uint32_t> EscapeSequenceParser::shapeKey(Bytes collect, uint8_t final) {
    if (collect.size() > 3) return std::nullopt;
    uint32_t key = 0;
    for (uint8_t byte : collect)
        key = key << 8 | byte;
    return key << 8 | final;
}

void EscapeSequenceParser::setCsiHandler(std::string_view shape, CsiHandler handler) {
    if (shape.empty()) return;
    const auto final = static_cast<uint8_t>(shape.back());
    shape.remove_suffix(1);
    if (shape.empty()) {
        plainShapes_[final] = std::move(handler);
        plainFunctions_[final] = {};
        return;
    }
    const Bytes collect(reinterpret_cast<const uint8_t*>(shape.data()), shape.size());
    if (const auto key = shapeKey(collect, final)) shapes_[*key] = std::move(handler);
}

void EscapeSequenceParser::csiDispatch(uint8_t final) {
    // Text begun in an earlier chunk and continued in this one is read as one.
    if (parsViewLength_ > 0 && !parsTxt_.empty()) keepParameterView();
    const CsiHandler* handler = nullptr;
    if (collect_.empty()) {
        if (const PlainFunction& plain = plainFunctions_[final]) return plain(pars(), collect_);
        handler = &plainShapes_[final];
    } else if (!shapes_.empty()) {
        if (const auto key = shapeKey(collect_, final)) {
            const auto found = shapes_.find(*key);
            if (found != shapes_.end()) handler = &found->second;
        }
    }
    if (!handler || !*handler) handler = &csiHandlers[final];
    if (*handler)
        (*handler)(pars(), collect_);
    else if (csiHandlerFallback)
        csiHandlerFallback(pars(), collect_, final);
}

void EscapeSequenceParser::escDispatch(uint8_t final) {
    collect_.push_back(final);
    const auto it = escHandlers.find(asKey(collect_));
    collect_.pop_back();
    if (it != escHandlers.end()) {
        if (it->second) it->second(collect_, final);
    } else if (escHandlerFallback) {
        escHandlerFallback(collect_, final);
    }
}

void EscapeSequenceParser::dcsHook(uint8_t final) {
    if (parsViewLength_ > 0 && !parsTxt_.empty()) keepParameterView();
    collect_.push_back(final);
    const auto it = dcsHandlers.find(asKey(collect_));
    activeDcsHandler_ = it != dcsHandlers.end() ? it->second.get() : nullptr;
    dcsLength_ = 0;
    if (activeDcsHandler_) activeDcsHandler_->hook(collect_, pars(), final);
}

ParserState EscapeSequenceParser::dcsUnhook(Chunk& c, std::size_t i, uint8_t code, ParserState next) {
    if (activeDcsHandler_) {
        putDcs(c, i);
        // The bound may have dropped the string during that last put.
        if (activeDcsHandler_) activeDcsHandler_->unhook();
        activeDcsHandler_ = nullptr;
    }
    if (code == ESC) next = S::escape;
    resetSequence(c);
    return next;
}

void EscapeSequenceParser::addDigit(uint8_t digit) {
    if (parsViewLength_ > 0) keepParameterView();
    if (parsTxt_.size() < maxParameterText) parsTxt_.push_back(digit);
    int64_t& last = pars_.back();
    last = last * 10 + (digit - '0');
    if (last >= parameterLimit) last = 0;
}

// Copies the parameter text still viewed in the chunk into parsTxt_.
void EscapeSequenceParser::keepParameterView() {
    parsTxt_.append(parsView_, parsView_ + parsViewLength_);
    parsView_ = nullptr;
    parsViewLength_ = 0;
}

// ':' and ';' both start a new parameter; the difference survives in parsTxt.
void EscapeSequenceParser::addSeparator(uint8_t separator) {
    if (parsViewLength_ > 0) keepParameterView();
    subParameters_ |= separator == ':';
    if (parsTxt_.size() < maxParameterText) parsTxt_.push_back(separator);
    if (pars_.size() <= maxParameters)
        pars_.push_back(0);
    else
        pars_.back() = 0;
}

void EscapeSequenceParser::addCollect(uint8_t code) {
    if (collect_.size() < maxCollect) collect_.push_back(code);
}

void EscapeSequenceParser::checkpoint() {
    saved_.state = currentState_;
    saved_.pars = pars_;
    saved_.parsTxt = parsTxt_;
    saved_.collect.assign(collect_.begin(), collect_.end());
    saved_.subParameters = subParameters_;
    saved_.activeDcsHandler = activeDcsHandler_;
    saved_.dcsLength = dcsLength_;
    saved_.oscInPayload = oscInPayload_;
    osc_.checkpoint();
}

void EscapeSequenceParser::rollback() {
    currentState_ = saved_.state;
    pars_ = saved_.pars;
    parsTxt_ = saved_.parsTxt;
    parsView_ = nullptr;
    parsViewLength_ = 0;
    collect_.assign(saved_.collect.begin(), saved_.collect.end());
    subParameters_ = saved_.subParameters;
    activeDcsHandler_ = saved_.activeDcsHandler;
    dcsLength_ = saved_.dcsLength;
    oscInPayload_ = saved_.oscInPayload;
    osc_.rollback();
}

} // namespace tarvik
