#include "engine/SocksRequest.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

// Clients send a request in one write or several; each case is fed whole and byte by byte.
TEST(SocksRequest, AcceptsConnectRequestsOfEveryVersion) {
    struct Case {
        const char* name;
        std::string sent;
        std::string host;
        uint16_t port;
        std::string reply;
    };
    const std::string greeting = bytes({5, 2, 2, 0});
    const std::string methodChosen = bytes({5, 0});
    const Case cases[] = {
        {"socks5 name", greeting + bytes({5, 1, 0, 3, 11}) + "example.org" + bytes({0, 80}), "example.org",
         80, methodChosen},
        {"socks5 ipv4", greeting + bytes({5, 1, 0, 1, 10, 0, 0, 7, 0x1f, 0x90}), "10.0.0.7", 8080,
         methodChosen},
        {"socks5 ipv6", greeting + bytes({5, 1, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 22}),
         "::1", 22, methodChosen},
        {"socks4", bytes({4, 1, 0, 22, 127, 0, 0, 1}) + "ann" + bytes({0}), "127.0.0.1", 22, ""},
        {"socks4a", bytes({4, 1, 1, 0, 0, 0, 0, 9, 0}) + "intranet" + bytes({0}), "intranet", 256, ""},
    };
    for (const auto& c : cases) {
        for (size_t piece : {c.sent.size(), size_t{1}}) {
            SCOPED_TRACE(std::string(c.name) + " in pieces of " + std::to_string(piece));
            SocksRequest request;
            std::string reply;
            auto status = SocksRequest::Status::NeedMore;
            for (size_t at = 0; at < c.sent.size(); at += piece) {
                ASSERT_EQ(status, SocksRequest::Status::NeedMore);
                status = request.feed(c.sent.substr(at, piece) + (at + piece >= c.sent.size() ? "DATA" : ""),
                                      reply);
            }
            EXPECT_EQ(status, SocksRequest::Status::Ready);
            EXPECT_EQ(request.host(), c.host);
            EXPECT_EQ(request.port(), c.port);
            EXPECT_EQ(reply, c.reply);
            EXPECT_EQ(request.takeRemainder(), "DATA");
        }
    }
}

TEST(SocksRequest, RefusesWhatItCannotServe) {
    struct Case {
        const char* name;
        std::string sent;
        std::string reply;
    };
    const Case cases[] = {
        {"only password auth offered", bytes({5, 1, 2}), bytes({5, 0xff})},
        {"socks5 bind", bytes({5, 1, 0, 5, 2, 0, 1, 1, 2, 3, 4, 0, 1}),
         bytes({5, 0}) + bytes({5, 7, 0, 1, 0, 0, 0, 0, 0, 0})},
        {"unknown address type", bytes({5, 1, 0, 5, 1, 0, 9, 1}),
         bytes({5, 0}) + bytes({5, 8, 0, 1, 0, 0, 0, 0, 0, 0})},
        {"socks4 bind", bytes({4, 2, 0, 22, 127, 0, 0, 1, 0}), ""},
        {"unknown version", bytes({6, 1}), ""},
        {"socks4 user id without end", bytes({4, 1, 0, 22, 127, 0, 0, 1}) + std::string(300, 'u'), ""},
    };
    for (const auto& c : cases) {
        SocksRequest request;
        std::string reply;
        EXPECT_EQ(request.feed(c.sent, reply), SocksRequest::Status::Failed) << c.name;
        EXPECT_EQ(reply, c.reply) << c.name;
    }
}

} // namespace
} // namespace tarvik
