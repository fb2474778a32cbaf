#include "engine/TelnetCodec.h"

namespace tarvik {

namespace {

// A subnegotiation longer than any we answer is junk; past this it is dropped
// rather than buffered without bound.
constexpr size_t subLimit = 4096;
constexpr uint8_t subIs = 0;
constexpr uint8_t subSend = 1;
constexpr uint8_t envVar = 0;
constexpr uint8_t envValue = 1;

void command(std::string& out, uint8_t verb, uint8_t option) {
    out += static_cast<char>(TelnetCodec::Iac);
    out += static_cast<char>(verb);
    out += static_cast<char>(option);
}

// Data inside a subnegotiation doubles Iac like user data does.
void appendEscaped(std::string& out, std::string_view bytes) {
    for (char c : bytes) {
        out += c;
        if (static_cast<uint8_t>(c) == TelnetCodec::Iac) out += c;
    }
}

} // namespace

TelnetCodec::TelnetCodec(std::string terminalType, std::string user)
    : terminalType_(std::move(terminalType)), user_(std::move(user)) {}

bool TelnetCodec::supportsLocal(uint8_t option) const {
    switch (option) {
    case Binary:
    case Sga:
    case TerminalType:
    case Naws:
        return true;
    case NewEnviron:
        return !user_.empty();
    default:
        return false;
    }
}

bool TelnetCodec::supportsRemote(uint8_t option) {
    return option == Binary || option == Echo || option == Sga;
}

void TelnetCodec::start(WindowSize size, std::string& toNet) {
    size_ = size;
    request(true, Naws, toNet);
    request(true, TerminalType, toNet);
    request(false, Sga, toNet);
    request(false, Echo, toNet);
}

void TelnetCodec::request(bool local, uint8_t option, std::string& toNet) {
    State& state = local ? us_[option] : him_[option];
    if (state != State::No) return;
    state = State::WantYes;
    command(toNet, local ? Will : Do, option);
}

void TelnetCodec::fromUser(std::string_view bytes, std::string& toNet) const {
    const bool binary = localEnabled(Binary);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        toNet += c;
        if (static_cast<uint8_t>(c) == Iac) toNet += c;
        // Outside binary mode a carriage return not ending a line must be followed by NUL.
        else if (c == '\r' && !binary && (i + 1 == bytes.size() || bytes[i + 1] != '\n'))
            toNet += '\0';
    }
}

void TelnetCodec::resized(WindowSize size, std::string& toNet) {
    size_ = size;
    if (localEnabled(Naws)) sendSize(toNet);
}

void TelnetCodec::sendSize(std::string& toNet) const {
    const char payload[] = {static_cast<char>(Naws), static_cast<char>(size_.columns >> 8),
                            static_cast<char>(size_.columns & 0xff), static_cast<char>(size_.rows >> 8),
                            static_cast<char>(size_.rows & 0xff)};
    toNet += static_cast<char>(Iac);
    toNet += static_cast<char>(Sb);
    appendEscaped(toNet, std::string_view(payload, sizeof payload));
    toNet += static_cast<char>(Iac);
    toNet += static_cast<char>(Se);
}

void TelnetCodec::fromNet(std::string_view bytes, std::string& toUser, std::string& toNet) {
    for (char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        switch (parse_) {
        case Parse::Data:
            if (b == Iac) {
                parse_ = Parse::Iac;
                break;
            }
            // "CR NUL" is how a server sends a bare carriage return.
            if (!(afterCr_ && b == 0 && !remoteEnabled(Binary))) toUser += c;
            afterCr_ = b == '\r';
            break;
        case Parse::Iac:
            parse_ = Parse::Data;
            if (b == Iac) {
                toUser += c;
                afterCr_ = false;
            } else if (b >= Will) {
                verb_ = b;
                parse_ = Parse::Verb;
            } else if (b == Sb) {
                sub_.clear();
                subOverflow_ = false;
                parse_ = Parse::Sub;
            }
            break;
        case Parse::Verb:
            received(verb_, b, toNet);
            parse_ = Parse::Data;
            break;
        case Parse::Sub:
            if (b == Iac)
                parse_ = Parse::SubIac;
            else if (sub_.size() < subLimit)
                sub_ += c;
            else
                subOverflow_ = true;
            break;
        case Parse::SubIac:
            if (b == Se) {
                if (!subOverflow_) subnegotiation(toNet);
                parse_ = Parse::Data;
            } else {
                if (b == Iac && sub_.size() < subLimit) sub_ += c;
                parse_ = Parse::Sub;
            }
            break;
        }
    }
}

void TelnetCodec::received(uint8_t verb, uint8_t option, std::string& toNet) {
    const bool local = verb == Do || verb == Dont;
    const bool positive = verb == Will || verb == Do;
    State& state = local ? us_[option] : him_[option];
    const uint8_t agree = local ? Will : Do;
    const uint8_t refuse = local ? Wont : Dont;
    const bool supported = local ? supportsLocal(option) : supportsRemote(option);
    if (positive) {
        switch (state) {
        case State::No:
            if (!supported) {
                command(toNet, refuse, option);
                return;
            }
            state = State::Yes;
            command(toNet, agree, option);
            break;
        case State::WantYes:
            state = State::Yes;
            break;
        case State::WantNo:
            state = State::No;
            return;
        case State::Yes:
            return;
        }
        if (local) enabledLocally(option, toNet);
    } else {
        if (state == State::Yes) command(toNet, refuse, option);
        state = State::No;
    }
}

void TelnetCodec::enabledLocally(uint8_t option, std::string& toNet) {
    if (option == Naws) sendSize(toNet);
}

void TelnetCodec::subnegotiation(std::string& toNet) {
    if (sub_.size() < 2 || static_cast<uint8_t>(sub_[1]) != subSend) return;
    const auto option = static_cast<uint8_t>(sub_[0]);
    if (!localEnabled(option)) return;
    std::string reply;
    reply += static_cast<char>(option);
    reply += static_cast<char>(subIs);
    if (option == TerminalType) {
        reply += terminalType_;
    } else if (option == NewEnviron) {
        reply += static_cast<char>(envVar);
        reply += "USER";
        reply += static_cast<char>(envValue);
        reply += user_;
    } else {
        return;
    }
    toNet += static_cast<char>(Iac);
    toNet += static_cast<char>(Sb);
    appendEscaped(toNet, reply);
    toNet += static_cast<char>(Iac);
    toNet += static_cast<char>(Se);
}

} // namespace tarvik
