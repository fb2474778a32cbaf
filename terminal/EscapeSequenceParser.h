#pragma once

#include "terminal/OscBuffer.h"
#include "terminal/ParserTypes.h"
#include "terminal/TransitionTable.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarvik {

// A plain function of an owner, for the calls that come once per sequence or run: they
// are spared the indirection of a std::function.
template <typename... Args> struct OwnerFunction {
    void (*function)(void* owner, Args... args) = nullptr;
    void* owner = nullptr;
    explicit operator bool() const { return function != nullptr; }
    void operator()(Args... args) const { function(owner, args...); }
};

// VT500-family parser: turns the child's byte stream into handler calls.
//
// It knows nothing of the screen. Bytes are raw; decoding UTF-8 is the print
// handler's job. Chunks may be cut anywhere: every piece of sequence state lives
// in the parser between calls. Handlers are called once per run or sequence,
// never per byte, and receive views of the caller's chunk or of the parser's
// own buffers that are valid only during the call. Not re-entrant: a handler
// must not call parse().
class EscapeSequenceParser {
  public:
    using Bytes = std::span<const uint8_t>;
    using Params = std::span<const int64_t>;

    using CsiHandler = std::function<void(Params parameters, Bytes collect)>;
    using CsiFallback = std::function<void(Params parameters, Bytes collect, uint8_t final)>;
    using OscHandler = std::function<void(Bytes payload)>;
    using OscFallback = std::function<void(int64_t code, Bytes payload)>;
    using ExecuteHandler = std::function<void()>;
    using EscHandler = std::function<void(Bytes collect, uint8_t final)>;
    using ErrorHandler = std::function<ParsingState(ParsingState)>;

    // A parameter that would reach this value restarts at 0, so ten times the
    // largest kept value plus a digit still fits in 64 bits.
    static constexpr int64_t parameterLimit = 922337203685477571;
    // Bounds on sequence state so that a sequence that never ends cannot grow
    // memory without limit; they are far beyond anything a real program sends.
    static constexpr std::size_t maxParameters = 256;
    static constexpr std::size_t maxParameterText = 4096;
    static constexpr std::size_t maxCollect = 64;
    static constexpr ParserState initialState = ParserState::ground;

    EscapeSequenceParser();
    EscapeSequenceParser(const EscapeSequenceParser&) = delete;
    EscapeSequenceParser& operator=(const EscapeSequenceParser&) = delete;

    void parse(Bytes data);
    void parse(std::string_view text) {
        parse(Bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    }
    void reset();

    // Handler tables, filled once by the owner.
    //
    // A CSI sequence is dispatched on its whole shape: the private marker and
    // intermediates it collected followed by its final byte ("m", "?h", " q", "$x").
    // A shape registered with setCsiHandler wins; otherwise csiHandlers, keyed by the
    // final byte alone, is asked; otherwise the fallback.
    void setCsiHandler(std::string_view shape, CsiHandler handler);
    // A shape without collected bytes handled by a plain function of its owner: the
    // shapes that come by the million (cursor addressing, colours) are spared the
    // wrapper's indirection. A later setCsiHandler for the shape replaces it.
    using CsiFunction = void (*)(void* owner, Params parameters, Bytes collect);
    void setCsiFunction(uint8_t final, CsiFunction function, void* owner) {
        plainFunctions_[final] = {function, owner};
    }
    std::array<CsiHandler, 256> csiHandlers;
    std::unordered_map<int64_t, OscHandler> oscHandlers;
    std::array<ExecuteHandler, 256> executeHandlers;
    // Keyed by the collected intermediates followed by the final byte.
    std::map<std::string, EscHandler, std::less<>> escHandlers;
    std::map<std::string, std::unique_ptr<DcsHandler>, std::less<>> dcsHandlers;

    // Text runs are the most frequent call of all. The flag tells that every byte of the
    // run is printable ASCII (false says nothing).
    OwnerFunction<Bytes, bool> printHandler;
    // Called whenever a sequence is abandoned, so the print side can drop a
    // half-received multi-byte character.
    OwnerFunction<> printStateReset;
    ErrorHandler errorHandler;
    EscHandler escHandlerFallback;
    CsiFallback csiHandlerFallback;
    OscFallback oscHandlerFallback;

    ParserState currentState() const { return currentState_; }
    // Parameters of the sequence in progress or just dispatched; [0] when none.
    Params pars() const { return Params(pars_.data(), std::min(pars_.size(), maxParameters)); }
    // The parameters as received, with ':' and ';' intact, for sub-parameters.
    Bytes parsTxt() const { return parsTxt_.empty() ? Bytes(parsView_, parsViewLength_) : Bytes(parsTxt_); }
    // Some parameter was followed by ':' (sub-parameters); nearly every sequence has none.
    bool hasSubParameters() const { return subParameters_; }
    Bytes collect() const { return collect_; }
    Bytes osc() const { return osc_.bytes(); }
    DcsHandler* activeDcsHandler() const { return activeDcsHandler_; }
    const TransitionTable& table() const { return table_; }

    // Largest OSC payload or DCS data kept for one string; beyond it the string is dropped.
    std::size_t stringLimit() const { return osc_.limit(); }
    void setStringLimit(std::size_t limit) { osc_.setLimit(limit); }

  private:
    // Run markers of one chunk: start index of the pending print or DCS data
    // run, -1 when none. Runs never span chunks.
    struct Chunk {
        Bytes data;
        int64_t print = -1;
        // The text from `print` on is known to be printable ASCII.
        bool printAscii = false;
        int64_t dcs = -1;
    };

    bool step(Chunk& c, std::size_t& i, ParserState& state);
    // Both run for every sequence; inline, they cost the sequence no calls.
    [[gnu::always_inline]] void flushPrint(Chunk& c, std::size_t end) {
        if (c.print < 0) return;
        const auto start = static_cast<std::size_t>(c.print);
        c.print = -1;
        if (printHandler) printHandler(c.data.subspan(start, end - start), c.printAscii);
    }
    void putDcs(Chunk& c, std::size_t end);
    // `oscAlreadyClear`: no OSC string is pending, as in ground state, so its buffer is left be.
    [[gnu::always_inline]] void resetSequence(Chunk& c, bool oscAlreadyClear = false) {
        pars_.clear();
        pars_.push_back(0);
        if (printStateReset) printStateReset();
        c.dcs = -1;
        if (!oscAlreadyClear) osc_.clear();
        oscInPayload_ = false;
        parsTxt_.clear();
        parsView_ = nullptr;
        parsViewLength_ = 0;
        collect_.clear();
        subParameters_ = false;
    }
    bool handleError(Chunk& c, std::size_t i, ParserState state, ParserState& next);
    std::size_t oscBulk(const Chunk& c, std::size_t i);
    ParserState oscEnd(Chunk& c, uint8_t code, ParserState next);
    void dispatchOsc();
    std::size_t csiSequence(Chunk& c, std::size_t i, ParserState& state);
    [[gnu::always_inline]] inline std::size_t parameters(const uint8_t* p, std::size_t j, std::size_t n);
    std::size_t longParameters(const uint8_t* p, std::size_t j, std::size_t n);
    void viewParameters(const uint8_t* text, std::size_t length, std::size_t count);
    std::size_t parameterRun(const uint8_t* p, std::size_t j, std::size_t n);
    void csiDispatch(uint8_t final);
    void escDispatch(uint8_t final);
    void dcsHook(uint8_t final);
    ParserState dcsUnhook(Chunk& c, std::size_t i, uint8_t code, ParserState next);
    void keepParameterView();
    void addDigit(uint8_t digit);
    void addSeparator(uint8_t separator);
    void addCollect(uint8_t code);
    void checkpoint();
    void rollback();

    // A shape packed into one number: up to three collected bytes, then the final.
    static std::optional<uint32_t> shapeKey(Bytes collect, uint8_t final);

    TransitionTable table_;
    // Shapes without collected bytes, the common case, are found by index.
    std::array<CsiHandler, 256> plainShapes_;
    using PlainFunction = OwnerFunction<Params, Bytes>;
    std::array<PlainFunction, 256> plainFunctions_{};
    std::unordered_map<uint32_t, CsiHandler> shapes_;
    ParserState currentState_ = initialState;
    OscBuffer osc_;
    // One slot beyond maxParameters absorbs parameters past the bound.
    using ParameterList = FixedVector<int64_t, maxParameters + 1>;
    using ParameterText = FixedVector<uint8_t, maxParameterText>;
    ParameterList pars_;
    ParameterText parsTxt_;
    // Parameter text of the sequence that lies in the chunk being parsed, not yet copied
    // into parsTxt_: a sequence read whole from one chunk is never copied at all.
    const uint8_t* parsView_ = nullptr;
    std::size_t parsViewLength_ = 0;
    std::vector<uint8_t> collect_;
    bool subParameters_ = false;
    DcsHandler* activeDcsHandler_ = nullptr;
    std::size_t dcsLength_ = 0; // DCS data delivered since the hook
    bool oscInPayload_ = false; // the OSC string has started its payload

    // State at the start of the chunk, restored when an error handler aborts.
    struct Saved {
        ParserState state = initialState;
        ParameterList pars;
        ParameterText parsTxt;
        std::vector<uint8_t> collect;
        bool subParameters = false;
        DcsHandler* activeDcsHandler = nullptr;
        std::size_t dcsLength = 0;
        bool oscInPayload = false;
    } saved_;
};

// Decimal number at the start of bytes, stopping at the first non-digit; 0
// without a leading digit or when the value reaches the parameter limit.
int64_t parseInt(std::span<const uint8_t> bytes);

} // namespace tarvik
