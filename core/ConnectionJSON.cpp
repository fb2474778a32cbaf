#include "core/ConnectionJSON.h"

#include "core/DecodeError.h"

#include <optional>
#include <string_view>

namespace tarvik {

namespace {

using nlohmann::json;

[[noreturn]] void fail(std::string_view key, std::string_view problem) {
    throw DecodeError("Invalid profile data: \"" + std::string(key) + "\" " + std::string(problem) + ".");
}

// The value of a key that may be left out; null counts as left out.
const json* optionalValue(const json& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() || found->is_null() ? nullptr : &*found;
}

const json& requiredValue(const json& object, const char* key) {
    const json* value = optionalValue(object, key);
    if (value == nullptr) fail(key, "is missing");
    return *value;
}

std::string stringFrom(const json& value, const char* key) {
    if (!value.is_string()) fail(key, "must be a string");
    return value.get<std::string>();
}

Uuid uuidFrom(const json& value, const char* key) {
    const auto parsed = Uuid::parse(stringFrom(value, key));
    if (!parsed) fail(key, "is not a valid identifier");
    return *parsed;
}

template <class Enum>
Enum enumFrom(const json& value, const char* key, std::optional<Enum> (*fromRaw)(std::string_view)) {
    const auto parsed = fromRaw(stringFrom(value, key));
    if (!parsed) fail(key, "has an unknown value");
    return *parsed;
}

void read(const json& object, const char* key, std::string& field) {
    if (const json* value = optionalValue(object, key)) field = stringFrom(*value, key);
}

void read(const json& object, const char* key, bool& field) {
    const json* value = optionalValue(object, key);
    if (value == nullptr) return;
    if (!value->is_boolean()) fail(key, "must be true or false");
    field = value->get<bool>();
}

void read(const json& object, const char* key, Uuid& field) {
    if (const json* value = optionalValue(object, key)) field = uuidFrom(*value, key);
}

void requireObject(const json& value, const char* what) {
    if (!value.is_object()) fail(what, "must be an object");
}

json encodeRule(const ForwardRule& rule) {
    return json{{"id", rule.id.text()}, {"kind", rawValue(rule.kind)}, {"specification", rule.specification}};
}

// A rule has no defaults worth guessing: a partial rule could forward the wrong port.
ForwardRule decodeRule(const json& object) {
    requireObject(object, "forwards");
    ForwardRule rule;
    rule.id = uuidFrom(requiredValue(object, "id"), "id");
    rule.kind = enumFrom(requiredValue(object, "kind"), "kind", forwardKindFromRawValue);
    rule.specification = stringFrom(requiredValue(object, "specification"), "specification");
    return rule;
}

void readForwards(const json& object, std::vector<ForwardRule>& field) {
    const json* value = optionalValue(object, "forwards");
    if (value == nullptr) return;
    if (!value->is_array()) fail("forwards", "must be a list");
    for (const json& element : *value)
        field.push_back(decodeRule(element));
}

} // namespace

json encodeConnection(const Connection& c) {
    json rules = json::array();
    for (const ForwardRule& rule : c.forwards)
        rules.push_back(encodeRule(rule));
    return json{{"id", c.id.text()},
                {"name", c.name},
                {"host", c.host},
                {"port", c.port},
                {"username", c.username},
                {"identityFile", c.identityFile},
                {"group", c.group},
                {"favorite", c.favorite},
                {"agentForwarding", c.agentForwarding},
                {"compression", c.compression},
                {"passwordOnly", c.passwordOnly},
                {"keepAlive", c.keepAlive},
                {"forwards", std::move(rules)},
                {"protocolKind", rawValue(c.protocolKind)},
                {"closeOnExit", rawValue(c.closeOnExit)},
                {"serialBaud", c.serialBaud},
                {"terminalType", c.terminalType},
                {"backspaceDel", c.backspaceDel},
                {"logFile", c.logFile},
                {"orvelEngine", c.orvelEngine}};
}

json encodeConnections(const std::vector<Connection>& connections) {
    json array = json::array();
    for (const Connection& c : connections)
        array.push_back(encodeConnection(c));
    return array;
}

Connection decodeConnection(const json& object) {
    requireObject(object, "profile");
    Connection c;
    read(object, "id", c.id);
    read(object, "name", c.name);
    c.host = stringFrom(requiredValue(object, "host"), "host");
    read(object, "port", c.port);
    read(object, "username", c.username);
    read(object, "identityFile", c.identityFile);
    read(object, "group", c.group);
    read(object, "favorite", c.favorite);
    read(object, "agentForwarding", c.agentForwarding);
    read(object, "compression", c.compression);
    read(object, "passwordOnly", c.passwordOnly);
    read(object, "keepAlive", c.keepAlive);
    readForwards(object, c.forwards);
    if (const json* value = optionalValue(object, "protocolKind"))
        c.protocolKind = enumFrom(*value, "protocolKind", connectionProtocolFromRawValue);
    if (const json* value = optionalValue(object, "closeOnExit"))
        c.closeOnExit = enumFrom(*value, "closeOnExit", closePolicyFromRawValue);
    read(object, "serialBaud", c.serialBaud);
    read(object, "terminalType", c.terminalType);
    read(object, "backspaceDel", c.backspaceDel);
    read(object, "logFile", c.logFile);
    read(object, "orvelEngine", c.orvelEngine);
    return c;
}

std::vector<Connection> decodeConnections(const json& array) {
    if (!array.is_array()) throw DecodeError("Invalid profile data: the profile list must be a JSON array.");
    std::vector<Connection> connections;
    connections.reserve(array.size());
    for (const json& element : array)
        connections.push_back(decodeConnection(element));
    return connections;
}

} // namespace tarvik
