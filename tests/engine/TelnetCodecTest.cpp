#include "engine/TelnetCodec.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

using T = TelnetCodec;

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

std::string cmd(int verb, int option) {
    return bytes({T::Iac, verb, option});
}

struct Started {
    TelnetCodec codec{"xterm-256color", "ann"};
    std::string offers;
    Started(WindowSize size = {80, 24}) { codec.start(size, offers); }

    std::string feed(const std::string& data, std::string* toUser = nullptr) {
        std::string user, net;
        codec.fromNet(data, user, net);
        if (toUser) *toUser += user;
        return net;
    }
};

TEST(TelnetCodec, OffersTerminalOptionsAndAsksForEchoAndSga) {
    Started t;
    EXPECT_EQ(t.offers, cmd(T::Will, T::Naws) + cmd(T::Will, T::TerminalType) + cmd(T::Do, T::Sga) +
                            cmd(T::Do, T::Echo));
}

// Each row is one server command in sequence, with the exact reply expected;
// answers to our own requests and repeats get no reply, so no loop can form.
TEST(TelnetCodec, NegotiatesWithoutLoops) {
    Started t({300, 255});
    const std::string naws = bytes({T::Iac, T::Sb, T::Naws, 1, 44, 0, 255, 255, T::Iac, T::Se});
    struct Step {
        std::string received;
        std::string reply;
    };
    const Step steps[] = {
        {cmd(T::Do, T::Naws), naws},
        {cmd(T::Do, T::Naws), ""},
        {cmd(T::Will, T::Echo), ""},
        {cmd(T::Will, T::Echo), ""},
        {cmd(T::Wont, T::Sga), ""},
        {cmd(T::Will, T::Sga), cmd(T::Do, T::Sga)},
        {cmd(T::Do, 99), cmd(T::Wont, 99)},
        {cmd(T::Will, 99), cmd(T::Dont, 99)},
        {cmd(T::Dont, 99), ""},
        {cmd(T::Dont, T::Naws), cmd(T::Wont, T::Naws)},
        {cmd(T::Dont, T::Naws), ""},
        {cmd(T::Do, T::Binary), cmd(T::Will, T::Binary)},
        {cmd(T::Will, T::Binary), cmd(T::Do, T::Binary)},
        {cmd(T::Wont, T::Echo), cmd(T::Dont, T::Echo)},
    };
    for (size_t i = 0; i < std::size(steps); ++i)
        EXPECT_EQ(t.feed(steps[i].received), steps[i].reply) << "step " << i;
    EXPECT_FALSE(t.codec.localEnabled(T::Naws));
    EXPECT_TRUE(t.codec.localEnabled(T::Binary));
    EXPECT_TRUE(t.codec.remoteEnabled(T::Sga));
    EXPECT_FALSE(t.codec.remoteEnabled(T::Echo));
}

// Commands may be cut anywhere by the network; every cut must give the same result.
TEST(TelnetCodec, ServerStreamParsesTheSameWhateverTheSplit) {
    const std::string stream = "ab" + cmd(T::Do, T::TerminalType) + "c" + bytes({T::Iac, T::Iac}) + "d" +
                               bytes({T::Iac, T::Sb, T::TerminalType, 1, T::Iac, T::Se}) +
                               bytes({T::Iac, T::Nop}) + std::string("e\r\0f\r\n", 6);
    const std::string ttypeReply =
        bytes({T::Iac, T::Sb, T::TerminalType, 0}) + "xterm-256color" + bytes({T::Iac, T::Se});
    for (size_t piece = 1; piece <= stream.size(); ++piece) {
        Started t;
        std::string user, net;
        for (size_t at = 0; at < stream.size(); at += piece)
            net += t.feed(stream.substr(at, piece), &user);
        EXPECT_EQ(user, "abc\xff"
                        "de\rf\r\n")
            << "pieces of " << piece;
        EXPECT_EQ(net, ttypeReply) << "pieces of " << piece;
    }
}

TEST(TelnetCodec, SendsUserNameThroughNewEnvironOnlyWhenAsked) {
    Started t;
    EXPECT_EQ(t.feed(cmd(T::Do, T::NewEnviron)), cmd(T::Will, T::NewEnviron));
    EXPECT_EQ(t.feed(bytes({T::Iac, T::Sb, T::NewEnviron, 1, T::Iac, T::Se})),
              bytes({T::Iac, T::Sb, T::NewEnviron, 0, 0}) + "USER" + bytes({1}) + "ann" +
                  bytes({T::Iac, T::Se}));

    TelnetCodec anonymous("xterm", "");
    std::string user, net;
    anonymous.fromNet(cmd(T::Do, T::NewEnviron), user, net);
    EXPECT_EQ(net, cmd(T::Wont, T::NewEnviron));
}

TEST(TelnetCodec, OversizedSubnegotiationIsDroppedAndParsingResumes) {
    Started t;
    t.feed(cmd(T::Do, T::TerminalType));
    std::string user;
    std::string net = t.feed(bytes({T::Iac, T::Sb, T::TerminalType, 1}) + std::string(100000, 'x') +
                                 bytes({T::Iac, T::Se}) + "ok",
                             &user);
    EXPECT_EQ(user, "ok");
    EXPECT_EQ(net, "");
}

TEST(TelnetCodec, UserDataIsEscapedForTheWire) {
    struct Case {
        std::string typed;
        bool binary;
        std::string sent;
    };
    const Case cases[] = {
        {"a\xff"
         "b",
         false,
         "a\xff\xff"
         "b"},
        {"ls\r", false, std::string("ls\r\0", 4)},
        {"x\r\ny", false, "x\r\ny"},
        {"ls\r", true, "ls\r"},
        {"\xff", true, "\xff\xff"},
    };
    for (const auto& c : cases) {
        Started t;
        if (c.binary) t.feed(cmd(T::Do, T::Binary));
        std::string net;
        t.codec.fromUser(c.typed, net);
        EXPECT_EQ(net, c.sent);
    }
}

TEST(TelnetCodec, WindowChangesAreSentOnlyOnceNawsIsAgreed) {
    Started t;
    std::string net;
    t.codec.resized({100, 40}, net);
    EXPECT_EQ(net, "");
    EXPECT_EQ(t.feed(cmd(T::Do, T::Naws)), bytes({T::Iac, T::Sb, T::Naws, 0, 100, 0, 40, T::Iac, T::Se}));
    t.codec.resized({132, 50}, net);
    EXPECT_EQ(net, bytes({T::Iac, T::Sb, T::Naws, 0, 132, 0, 50, T::Iac, T::Se}));
}

} // namespace
} // namespace tarvik
