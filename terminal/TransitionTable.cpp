#include "terminal/TransitionTable.h"

namespace tarvik {

namespace {

using S = ParserState;
using A = ParserAction;

constexpr S allStates[] = {S::ground,          S::escape,          S::escapeIntermediate, S::csiEntry,
                           S::csiParam,        S::csiIntermediate, S::csiIgnore,          S::sosPmApcString,
                           S::oscString,       S::dcsEntry,        S::dcsParam,           S::dcsIgnore,
                           S::dcsIntermediate, S::dcsPassthrough};

// C0 controls that are executed in place; CAN, SUB and ESC are left out
// because they end or restart sequences.
void addExecutables(TransitionTable& t, S state, A action, S next) {
    t.addRange(0x00, 0x18, state, action, next);
    t.addRange(0x1C, 0x1F, state, action, next);
}

void addPrintables(TransitionTable& t, S state, A action, S next) {
    t.addRange(0x20, 0x7E, state, action, next);
}

// Bytes that act the same whatever sequence is in progress.
void addAnywhere(TransitionTable& t) {
    for (S s : allStates) {
        t.addRange(0x00, 0xA0, s, A::error, S::ground);
        t.add({0x18, 0x1A, 0x99, 0x9A}, s, A::execute, S::ground);
        t.addRange(0x80, 0x8F, s, A::execute, S::ground);
        t.addRange(0x90, 0x97, s, A::execute, S::ground);
        t.add(0x9C, s, A::ignore, S::ground);
        t.add(0x1B, s, A::clear, S::escape);
        t.add(0x9D, s, A::oscStart, S::oscString);
        t.add({0x98, 0x9E, 0x9F}, s, A::ignore, S::sosPmApcString);
        t.add(0x9B, s, A::clear, S::csiEntry);
        t.add(0x90, s, A::clear, S::dcsEntry);
    }
}

void addGroundAndEscape(TransitionTable& t) {
    addExecutables(t, S::ground, A::execute, S::ground);
    addPrintables(t, S::ground, A::print, S::ground);
    addExecutables(t, S::escape, A::execute, S::escape);
    t.add(0x7F, S::escape, A::ignore, S::escape);
    addExecutables(t, S::oscString, A::ignore, S::oscString);
    for (S s : {S::csiEntry, S::csiParam, S::csiIgnore, S::csiIntermediate, S::escapeIntermediate}) {
        addExecutables(t, s, A::execute, s);
        t.add(0x7F, s, A::ignore, s);
    }
}

void addStrings(TransitionTable& t) {
    t.add(']', S::escape, A::oscStart, S::oscString);
    addPrintables(t, S::oscString, A::oscPut, S::oscString);
    t.add(0x7F, S::oscString, A::oscPut, S::oscString);
    t.add({0x9C, 0x1B, 0x18, 0x1A, 0x07}, S::oscString, A::oscEnd, S::ground);
    t.addRange(0x1C, 0x1F, S::oscString, A::ignore, S::oscString);

    t.add({'X', '^', '_'}, S::escape, A::ignore, S::sosPmApcString);
    addPrintables(t, S::sosPmApcString, A::ignore, S::sosPmApcString);
    addExecutables(t, S::sosPmApcString, A::ignore, S::sosPmApcString);
    t.add(0x7F, S::sosPmApcString, A::ignore, S::sosPmApcString);
    t.add(0x9C, S::sosPmApcString, A::ignore, S::ground);
}

void addCsi(TransitionTable& t) {
    t.add('[', S::escape, A::clear, S::csiEntry);

    t.addRange(0x40, 0x7E, S::csiEntry, A::csiDispatch, S::ground);
    t.addRange('0', '9', S::csiEntry, A::param, S::csiParam);
    t.add(';', S::csiEntry, A::param, S::csiParam);
    t.add({'<', '=', '>', '?'}, S::csiEntry, A::collect, S::csiParam);
    t.addRange(0x20, 0x2F, S::csiEntry, A::collect, S::csiIntermediate);

    t.addRange('0', '9', S::csiParam, A::param, S::csiParam);
    t.add({';', ':'}, S::csiParam, A::param, S::csiParam);
    t.add({'<', '=', '>', '?'}, S::csiParam, A::ignore, S::csiIgnore);
    t.addRange(0x40, 0x7E, S::csiParam, A::csiDispatch, S::ground);
    t.addRange(0x20, 0x2F, S::csiParam, A::collect, S::csiIntermediate);

    t.addRange(0x20, 0x3F, S::csiIgnore, A::ignore, S::csiIgnore);
    t.addRange(0x40, 0x7E, S::csiIgnore, A::ignore, S::ground);

    t.addRange(0x20, 0x2F, S::csiIntermediate, A::collect, S::csiIntermediate);
    t.addRange(0x30, 0x3F, S::csiIntermediate, A::ignore, S::csiIgnore);
    t.addRange(0x40, 0x7E, S::csiIntermediate, A::csiDispatch, S::ground);
}

void addEsc(TransitionTable& t) {
    t.addRange(0x20, 0x2F, S::escape, A::collect, S::escapeIntermediate);
    t.addRange(0x20, 0x2F, S::escapeIntermediate, A::collect, S::escapeIntermediate);
    t.addRange(0x30, 0x7E, S::escapeIntermediate, A::escDispatch, S::ground);

    t.addRange(0x30, 0x4F, S::escape, A::escDispatch, S::ground);
    t.addRange(0x51, 0x57, S::escape, A::escDispatch, S::ground);
    t.add({0x59, 0x5A, 0x5C}, S::escape, A::escDispatch, S::ground);
    t.addRange(0x60, 0x7E, S::escape, A::escDispatch, S::ground);
    t.add('P', S::escape, A::clear, S::dcsEntry);
}

// Controls inside a DCS header are swallowed so they cannot leak into the screen.
void addDcsQuiet(TransitionTable& t, S state) {
    addExecutables(t, state, A::ignore, state);
    t.add(0x7F, state, A::ignore, state);
    t.addRange(0x1C, 0x1F, state, A::ignore, state);
}

void addDcs(TransitionTable& t) {
    addDcsQuiet(t, S::dcsEntry);
    t.addRange(0x20, 0x2F, S::dcsEntry, A::collect, S::dcsIntermediate);
    t.add(':', S::dcsEntry, A::ignore, S::dcsIgnore);
    t.addRange('0', '9', S::dcsEntry, A::param, S::dcsParam);
    t.add(';', S::dcsEntry, A::param, S::dcsParam);
    t.add({'<', '=', '>', '?'}, S::dcsEntry, A::collect, S::dcsParam);

    addExecutables(t, S::dcsIgnore, A::ignore, S::dcsIgnore);
    t.addRange(0x20, 0x7F, S::dcsIgnore, A::ignore, S::dcsIgnore);
    t.addRange(0x1C, 0x1F, S::dcsIgnore, A::ignore, S::dcsIgnore);

    addDcsQuiet(t, S::dcsParam);
    t.addRange('0', '9', S::dcsParam, A::param, S::dcsParam);
    t.add(';', S::dcsParam, A::param, S::dcsParam);
    t.add({':', '<', '=', '>', '?'}, S::dcsParam, A::ignore, S::dcsIgnore);
    t.addRange(0x20, 0x2F, S::dcsParam, A::collect, S::dcsIntermediate);

    addDcsQuiet(t, S::dcsIntermediate);
    t.addRange(0x20, 0x2F, S::dcsIntermediate, A::collect, S::dcsIntermediate);
    t.addRange(0x30, 0x3F, S::dcsIntermediate, A::ignore, S::dcsIgnore);

    for (S s : {S::dcsIntermediate, S::dcsParam, S::dcsEntry})
        t.addRange(0x40, 0x7E, s, A::dcsHook, S::dcsPassthrough);

    addExecutables(t, S::dcsPassthrough, A::dcsPut, S::dcsPassthrough);
    addPrintables(t, S::dcsPassthrough, A::dcsPut, S::dcsPassthrough);
    t.add(0x7F, S::dcsPassthrough, A::ignore, S::dcsPassthrough);
    t.add({0x1B, 0x9C}, S::dcsPassthrough, A::dcsUnhook, S::ground);
}

} // namespace

// Later additions overwrite earlier ones, so the order below matters: general
// rules first, then the specific ones for each state.
TransitionTable buildVt500TransitionTable() {
    TransitionTable t;
    addAnywhere(t);
    addGroundAndEscape(t);
    addStrings(t);
    addCsi(t);
    addEsc(t);
    addDcs(t);
    // Bytes from 0xA0 up inside an OSC string are UTF-8 payload.
    t.add(TransitionTable::highColumn, S::oscString, A::oscPut, S::oscString);
    return t;
}

} // namespace tarvik
