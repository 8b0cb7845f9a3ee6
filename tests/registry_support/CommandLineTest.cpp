#include "registry/support/CommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(ServerAddressTest, HostAndOptionalPort)
{
    struct Case
    {
        const char *text;
        bool valid;
        const char *host;
        std::uint16_t port;
    };
    const Case cases[] = {
        {"127.0.0.1", true, "127.0.0.1", 2600},
        {"  localhost:2700 ", true, "localhost", 2700},
        {"host:65535", true, "host", 65535},
        {"::1", true, "::1", 2600}, // several colons: an address without a port
        {"host:0", false, "", 0},
        {"host:65536", false, "", 0},
        {"host:", false, "", 0},
        {"host:12x", false, "", 0},
        {"host:-1", false, "", 0},
        {":2600", false, "", 0},
        {"   ", false, "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const auto parsed = registry::ParseServerAddress(c.text, 2600);
        ASSERT_EQ(parsed.has_value(), c.valid);
        if (c.valid) {
            EXPECT_EQ(parsed->host, c.host);
            EXPECT_EQ(parsed->port, c.port);
        }
    }
}

} // namespace
