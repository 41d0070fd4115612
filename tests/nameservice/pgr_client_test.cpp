// The name server client's pieces that need no server: its settings, the
// import list and the pauses between retries.
#include <gtest/gtest.h>

#include "nameservice/pgr_client.h"
#include "rpc/rpc_status.h"
#include "scratch.h"

namespace {

using namespace vrcore::nameservice::pgr;

class PgrClient : public testing::Test {
  protected:
    void SetUp() override {
        setenv("VRCORE_REGISTRY", (dir.Path() + "/registry.reg").c_str(), 1);
        setenv("windir", dir.Path().c_str(), 1);
    }
    void Settings(const std::string &pgr, const std::string &import = "") {
        vrtest::WriteFile(dir.Path() + "/registry.reg",
                          "[Software\\Halvane\\Tessaril\\pgr]\n" + pgr +
                              "[Software\\Halvane\\Tessaril\\pgr\\Import]\n" + import);
    }
    vrtest::ScratchDir dir;
};

TEST_F(PgrClient, SettingsFallBackToDefaultsAndServerAddressIsRewritten) {
    Settings("\"CallMaxRetry\"=\"3\"\n\"ImportMaxTry\"=dword:00000002\n");
    struct Settings s = ReadSettings();
    EXPECT_EQ(s.call_max_retry, 10u); // a string where a number belongs
    EXPECT_EQ(s.import_max_try, 2u);
    EXPECT_EQ(ReadServerAddress(), "");
    ASSERT_EQ(WriteServerAddress("10.1.2.3"), 0);
    EXPECT_EQ(ReadServerAddress(), "10.1.2.3");
    EXPECT_EQ(ReadSettings().import_max_try, 2u); // the rest of the file kept
}

TEST_F(PgrClient, ImportListIsOrderedByNumber) {
    std::vector<std::string> list;
    EXPECT_EQ(ReadImportList(&list), kEntryNotFound); // no registry file
    Settings("", "\"Other\"=\"ncacn_ip_tcp:h0\"\n\"x\"=dword:00000001\n");
    EXPECT_EQ(ReadImportList(&list), kEntryNotFound);
    Settings("", "\"10\"=\"ncacn_ip_tcp:h10\"\n\"2\"=\"ncacn_ip_tcp:h2\"\n"
                 "\"Other\"=\"ncacn_ip_tcp:h0\"\n\"9\"=dword:00000001\n"
                 "\"1\"=str(2):\"ncacn_ip_tcp:h1[7]\"\n");
    ASSERT_EQ(ReadImportList(&list), vrcore::rpc::kOk);
    EXPECT_EQ(list, (std::vector<std::string>{"ncacn_ip_tcp:h1[7]", "ncacn_ip_tcp:h2",
                                              "ncacn_ip_tcp:h10"}));

    // Without a list the import is retried, then no server is found; a
    // list with nothing usable is searched twice.
    std::vector<uint32_t> pauses;
    Client client([&](uint32_t ms) { pauses.push_back(ms); });
    auto never = [](vrcore::rpc::ClientConnection &) -> uint32_t { return 0; };
    Settings("\"ImportMaxTry\"=dword:00000002\n");
    client.Start();
    EXPECT_EQ(client.Run(never), 18u);
    EXPECT_EQ(pauses, (std::vector<uint32_t>{5, 20}));
    Settings("\"ImportMaxTry\"=dword:00000002\n", "\"1\"=\"ncacn_ip_tcp:h[x]\"\n");
    pauses.clear();
    EXPECT_EQ(client.Run(never), 18u);
    EXPECT_TRUE(pauses.empty());
}

TEST(PgrRetries, PausesGrowWithTheSquareAndStopAtSuccessOrAnotherStatus) {
    struct Case {
        std::vector<uint32_t> statuses; // what each attempt returns
        uint32_t retries, factor;
        uint32_t want;
        std::vector<uint32_t> pauses;
    };
    const Case cases[] = {
        {{1723, 1723, 0}, 5, 5, 0, {5, 20}},
        {{1723, 1723, 1723, 1723}, 3, 5, 1723, {5, 20, 45}},
        {{1723, 1722}, 5, 1, 1722, {1}}, // not retryable
        {{1723}, 0, 5, 1723, {}},
    };
    for (const auto &c : cases) {
        size_t n = 0;
        std::vector<uint32_t> pauses;
        uint32_t st = WithRetries(
            c.retries, c.factor, [](uint32_t s) { return s == 1723; },
            [&] { return c.statuses.at(n++); }, [&](uint32_t ms) { pauses.push_back(ms); });
        EXPECT_EQ(st, c.want);
        EXPECT_EQ(pauses, c.pauses);
    }
}

} // namespace
