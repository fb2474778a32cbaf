#include "core/SSHConfig.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

std::vector<std::string> hostsOf(const std::vector<Connection>& profiles) {
    std::vector<std::string> hosts;
    for (const auto& p : profiles)
        hosts.push_back(p.host);
    return hosts;
}

TEST(SSHConfig, AliasesFromHostLines) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> aliases;
    };
    const Case cases[] = {
        {"two aliases in order", "Host web db\n", {"web", "db"}},
        {"pattern only", "Host *\n", {}},
        {"negation and pattern", "Host !bastion *.corp\n", {}},
        {"question mark pattern", "Host web? db\n", {"db"}},
        {"quoted alias", "Host \"quoted\" 'single'\n", {"quoted", "single"}},
        {"equals sign", "Host=joined\n", {"joined"}},
        {"lower-case keyword and spaces", "  host      spaced   \n", {"spaced"}},
        {"upper-case keyword", "HOST loud\n", {"loud"}},
        {"trailing comment", "Host web # old db\n", {"web"}},
        {"commented line", "# Host hidden\n", {}},
        {"duplicates across lines", "Host a b\nHost b a c\n", {"a", "b", "c"}},
        {"no host lines", "HostName example.org\nUser ann\nPort 2222\n", {}},
        {"other keywords ignored", "Match host x\nInclude other\nHost real\n  HostName 10.0.0.1\n", {"real"}},
        {"crlf and tabs", "Host\tone\r\nHost two\r\n", {"one", "two"}},
        {"invalid aliases skipped", "Host user@box -bad caf\u00E9 ok\n", {"ok"}},
        {"empty after unquoting", "Host \"\" x\n", {"x"}},
        {"unicode line separator", "Host a\u2028Host b", {"a", "b"}},
        {"empty text", "", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hostsOf(SSHConfig::aliases(c.text)), c.aliases) << c.what;
}

TEST(SSHConfig, ProfilesDeferToTheClientConfiguration) {
    const auto profiles = SSHConfig::aliases("Host web\n");
    ASSERT_EQ(profiles.size(), 1u);
    const Connection& p = profiles[0];
    EXPECT_EQ(p.name, "web");
    EXPECT_EQ(p.port, "") << "the configuration's own port must apply";
    EXPECT_EQ(p.group, "SSH config");
    EXPECT_EQ(p.protocolKind, ConnectionProtocol::SSH);
    EXPECT_TRUE(p.keepAlive);
    EXPECT_TRUE(p.username.empty());
    EXPECT_NE(SSHConfig::aliases("Host a b\n")[0].id, SSHConfig::aliases("Host a b\n")[0].id);
}

} // namespace
} // namespace tarvik
