// The name server client's pieces that need no server: its settings, the
// import list and the pauses between retries.
#include <gtest/gtest.h>

#include "nameservice/pgr_client.h"
#include "scratch.h"

using namespace vrcore::nameservice::pgr;

TEST(PgrClient, SettingsImportListAndRetries) {
    vrtest::ScratchDir dir;
    const std::string reg = dir.Path() + "/registry.reg", key = "[Software\\Halvane\\Tessaril\\pgr";
    setenv("VRCORE_REGISTRY", reg.c_str(), 1);
    vrtest::WriteFile(reg, key + "]\n\"CallMaxRetry\"=\"3\"\n\"ImportMaxTry\"=dword:00000002\n" +
                               key + "\\Import]\n\"10\"=\"ncacn_ip_tcp:h[x]\"\n\"x\"=\"a:b\"\n" +
                               "\"9\"=dword:00000001\n\"1\"=str(2):\"ncacn_ip_tcp:h[0]\"\n");
    EXPECT_EQ(ReadSettings().call_max_retry, 10u); // a string where a number belongs
    std::vector<std::string> list;
    ASSERT_EQ(ReadImportList(&list), 0u);
    EXPECT_EQ(list, (std::vector<std::string>{"ncacn_ip_tcp:h[0]", "ncacn_ip_tcp:h[x]"}));

    // A list with nothing usable is searched twice; no list is retried
    // with pauses of 5 × n² ms; neither finds a server.
    std::vector<uint32_t> pauses;
    Client client([&](uint32_t ms) { pauses.push_back(ms); });
    auto never = [](vrcore::rpc::ClientConnection &) -> uint32_t { return 0; };
    client.Start();
    EXPECT_EQ(client.Run(never), 18u);
    EXPECT_TRUE(pauses.empty());
    vrtest::WriteFile(reg, key + "]\n\"ImportMaxTry\"=dword:00000002\n");
    client.Start();
    EXPECT_EQ(client.Run(never), 18u);
    EXPECT_EQ(pauses, (std::vector<uint32_t>{5, 20}));
}
