#include "core/Connection.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

TEST(Connection, FreshProfilesHaveDistinctIdentities) {
    const Connection a, b;
    EXPECT_NE(a.id, b.id);
    EXPECT_NE(ForwardRule().id, ForwardRule().id);
    EXPECT_NE(a, b) << "profiles that differ only in id are different profiles";
    Connection copy = a;
    EXPECT_EQ(copy, a);
}

struct TitleCase {
    std::string name;
    std::string expected;
};

TEST(Connection, TitleFallsBackToHostOnlyForBlankNames) {
    const TitleCase cases[] = {
        {"", "host"},
        {"   ", "host"},
        {"\t\u00A0\u3000", "host"}, // every space separator counts as blank
        {" a ", " a "},             // a real name comes back untrimmed
        {"\n", "\n"},               // a line break is not a space separator
        {"Production", "Production"},
    };
    for (const auto& c : cases) {
        Connection profile;
        profile.host = "host";
        profile.name = c.name;
        EXPECT_EQ(profile.title(), c.expected) << "name [" << c.name << "]";
    }
}

struct AddressCase {
    std::string username, host, port, expected;
};

TEST(Connection, AddressUsesRawFieldsAndHidesOnlyTheStandardPort) {
    const AddressCase cases[] = {
        {"ann", "example", "2222", "ann@example:2222"},
        {"", "example", "22", "example"},
        {"", "example", "", "example"},
        {"", "example", "022", "example:022"},
        {" ann ", " example ", " 22", " ann @ example : 22"},
    };
    for (const auto& c : cases) {
        Connection profile;
        profile.username = c.username;
        profile.host = c.host;
        profile.port = c.port;
        EXPECT_EQ(profile.address(), c.expected);
    }
}

TEST(Enumerations, RawValuesRoundTripAndAreCaseSensitive) {
    for (ForwardKind k : allForwardKinds)
        EXPECT_EQ(forwardKindFromRawValue(rawValue(k)), k);
    for (ConnectionProtocol p : allConnectionProtocols)
        EXPECT_EQ(connectionProtocolFromRawValue(rawValue(p)), p);
    for (ClosePolicy p : allClosePolicies)
        EXPECT_EQ(closePolicyFromRawValue(rawValue(p)), p);
    EXPECT_FALSE(connectionProtocolFromRawValue("ssh"));
    EXPECT_FALSE(forwardKindFromRawValue("socks"));
    EXPECT_FALSE(closePolicyFromRawValue("Clean"));
    EXPECT_FALSE(closePolicyFromRawValue(""));
}

TEST(Uuid, ParsesEitherCaseAndPrintsUpperCase) {
    const auto parsed = Uuid::parse("0f8fad5b-d9cb-469f-a165-70867728950e");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->text(), "0F8FAD5B-D9CB-469F-A165-70867728950E");
    EXPECT_EQ(Uuid::parse(parsed->text()), parsed);
    for (const char* bad : {"", "0f8fad5b-d9cb-469f-a165-70867728950",
                            "0f8fad5b-d9cb-469f-a165-70867728950e0", "0f8fad5bd-9cb-469f-a165-70867728950e",
                            "0f8fad5b-d9cb-469f-a165-70867728950g", "{0f8fad5b-d9cb-469f-a165-70867728950}"})
        EXPECT_FALSE(Uuid::parse(bad)) << bad;
}

} // namespace
} // namespace tarvik
