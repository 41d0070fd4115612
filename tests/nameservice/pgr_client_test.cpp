// The name server client's pieces that need no server: its settings, the
// import list and the pauses between retries.
#include <gtest/gtest.h>

#include "nameservice/pgr_client.h"
#include "scratch.h"

namespace {

using namespace vrcore::nameservice::pgr;

TEST(PgrClient, SettingsImportListAndRetries) {
    vrtest::ScratchDir dir;
    setenv("VRCORE_REGISTRY", (dir.Path() + "/registry.reg").c_str(), 1);
    std::vector<std::string> list;
    std::vector<uint32_t> pauses;
    Client client([&](uint32_t ms) { pauses.push_back(ms); });
    auto never = [](vrcore::rpc::ClientConnection &) -> uint32_t { return 0; };
    auto write = [&](const std::string &pgr, const std::string &import) {
        vrtest::WriteFile(dir.Path() + "/registry.reg",
                          "[Software\\Halvane\\Tessaril\\pgr]\n" + pgr +
                              "[Software\\Halvane\\Tessaril\\pgr\\Import]\n" + import);
        client.Start();
    };
    // A value of the wrong type is its default; no list is retried, then
    // no server is found.
    write("\"CallMaxRetry\"=\"3\"\n\"ImportMaxTry\"=dword:00000002\n", "\"x\"=\"a:b\"\n");
    EXPECT_EQ(ReadSettings().call_max_retry, 10u);
    EXPECT_EQ(client.Run(never), 18u);
    EXPECT_EQ(pauses, (std::vector<uint32_t>{5, 20}));
    ASSERT_EQ(WriteServerAddress("10.1.2.3"), 0);
    EXPECT_EQ(ReadServerAddress(), "10.1.2.3");
    EXPECT_EQ(ReadSettings().import_max_try, 2u);

    // Numbered values in the order of their numbers; a list with nothing
    // usable is searched twice without pauses.
    write("", "\"10\"=\"ncacn_ip_tcp:h[x]\"\n\"2\"=\"ncacn_ip_tcp:h[y]\"\n\"9\"=dword:00000001\n"
              "\"1\"=str(2):\"ncacn_ip_tcp:h1[0]\"\n");
    ASSERT_EQ(ReadImportList(&list), 0u);
    EXPECT_EQ(list, (std::vector<std::string>{"ncacn_ip_tcp:h1[0]", "ncacn_ip_tcp:h[y]",
                                              "ncacn_ip_tcp:h[x]"}));
    pauses.clear();
    EXPECT_EQ(client.Run(never), 18u);
    EXPECT_TRUE(pauses.empty());

    // factor × n² before retry n, while the status is retryable.
    const std::vector<std::vector<uint32_t>> attempts = {
        {1723, 1723, 0}, {1723, 1723, 1723, 1723}, {1723, 1722}};
    const std::vector<std::vector<uint32_t>> want = {{5, 20}, {5, 20, 45}, {5}};
    for (size_t c = 0; c < attempts.size(); ++c) {
        size_t n = 0;
        pauses.clear();
        uint32_t st = WithRetries(
            3, 5, [](uint32_t s) { return s == 1723; }, [&] { return attempts[c][n++]; },
            [&](uint32_t ms) { pauses.push_back(ms); });
        EXPECT_EQ(st, attempts[c][n - 1]);
        EXPECT_EQ(pauses, want[c]);
    }
}

} // namespace
