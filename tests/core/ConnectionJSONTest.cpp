#include "core/ConnectionJSON.h"
#include "core/DecodeError.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

using nlohmann::json;

Connection fullyFilledProfile() {
    Connection c;
    c.name = "Prod \u00E9\u4E2D";
    c.host = "example.org";
    c.port = "0022";
    c.username = "ann";
    c.identityFile = "~/.ssh/id_ed25519";
    c.group = "work";
    c.favorite = true;
    c.agentForwarding = true;
    c.compression = true;
    c.passwordOnly = true;
    c.keepAlive = false;
    c.forwards = {ForwardRule{Uuid::random(), ForwardKind::remote, "9000:localhost:9000"},
                  ForwardRule{Uuid::random(), ForwardKind::SOCKS, "[::1]:1080"}};
    c.protocolKind = ConnectionProtocol::rlogin;
    c.closeOnExit = ClosePolicy::never;
    c.serialBaud = "115200";
    c.terminalType = "vt100";
    c.backspaceDel = false;
    c.logFile = "/tmp/session.log";
    c.orvelEngine = true;
    return c;
}

TEST(ConnectionJSON, RoundTripKeepsEveryFieldAndIdentity) {
    const std::vector<Connection> profiles{fullyFilledProfile(), Connection{}};
    const auto decoded = decodeConnections(json::parse(encodeConnections(profiles).dump(2)));
    EXPECT_EQ(decoded, profiles);
}

TEST(ConnectionJSON, HostAloneGivesTheDefaults) {
    const Connection c = decodeConnection(json{{"host", "h"}, {"port", nullptr}, {"unknownKey", 42}});
    Connection expected;
    expected.id = c.id;
    expected.host = "h";
    EXPECT_EQ(c, expected);
    EXPECT_EQ(c.port, "22");
    EXPECT_NE(c.id, decodeConnection(json{{"host", "h"}}).id) << "each decode draws a fresh id";
}

struct BadDocument {
    const char* what;
    const char* text;
};

// Each profile list below must fail as a whole: a lenient decode would
// silently turn a damaged file into different profiles.
TEST(ConnectionJSON, StrictDecodingRejectsDamagedLists) {
    const BadDocument cases[] = {
        {"missing host", R"([{"name":"x"}])"},
        {"null host", R"([{"host":null}])"},
        {"numeric host", R"([{"host":7}])"},
        {"lower-case protocol", R"([{"host":"h","protocolKind":"ssh"}])"},
        {"unknown close policy", R"([{"host":"h","closeOnExit":"sometimes"}])"},
        {"keepAlive as text", R"([{"host":"h","keepAlive":"true"}])"},
        {"favorite as number", R"([{"host":"h","favorite":1}])"},
        {"port as number", R"([{"host":"h","port":22}])"},
        {"bad uuid", R"([{"host":"h","id":"not-a-uuid"}])"},
        {"forwards not a list", R"([{"host":"h","forwards":{}}])"},
        {"rule without id", R"([{"host":"h","forwards":[{"kind":"Local","specification":"1:a:2"}]}])"},
        {"rule with null kind",
         R"([{"host":"h","forwards":[{"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","kind":null,"specification":"1"}]}])"},
        {"rule with lower-case kind",
         R"([{"host":"h","forwards":[{"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","kind":"socks","specification":"1"}]}])"},
        {"rule without specification",
         R"([{"host":"h","forwards":[{"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","kind":"SOCKS"}]}])"},
        {"one bad profile among good ones", R"([{"host":"a"},{"host":"b","port":false},{"host":"c"}])"},
        {"profile that is not an object", R"([{"host":"a"}, "b"])"},
        {"top level not an array", R"({"host":"a"})"},
    };
    for (const auto& c : cases)
        EXPECT_THROW(decodeConnections(json::parse(c.text)), DecodeError) << c.what;
}

} // namespace
} // namespace tarvik
