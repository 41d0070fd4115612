// The file helpers every module uses.
#include <fcntl.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "memfs.h"
#include "scratch.h"
#include "system/fileio.h"

using namespace vrcore;
using vrtest::IoOp;

namespace {

TEST(FileHelpers, ReplacementFailingAtEachStepKeepsTheOldFile) {
    vrtest::ScratchDir dir;
    const std::string path = dir.Path() + "/f";
    const std::pair<IoOp, system::fileio::Step> steps[] = {
        {IoOp::Open, system::fileio::Step::Create},    {IoOp::Fchmod, system::fileio::Step::Mode},
        {IoOp::Write, system::fileio::Step::Write},    {IoOp::Fsync, system::fileio::Step::Sync},
        {IoOp::Close, system::fileio::Step::Close},    {IoOp::Rename, system::fileio::Step::Rename},
        {IoOp::SyncDir, system::fileio::Step::SyncDir}};
    for (auto [op, step] : steps)
        for (const char *temp : {"", "-"}) {
            vrtest::WriteFile(path, "old");
            system::fileio::Result r;
            {
                vrtest::IoTap fail([op = op](IoOp o, auto &) { return o == op; });
                r = system::fileio::ReplaceFile(path, "new", system::fileio::NewFile{0600, 0640},
                                                *temp ? path + temp : "");
            }
            EXPECT_EQ(r.step, step) << int(op);
            EXPECT_EQ(r.err, EIO);
            // Only a failed directory sync leaves the new file in place.
            EXPECT_EQ(vrtest::ReadFile(path), step == system::fileio::Step::SyncDir ? "new" : "old")
                << int(op);
            auto files = std::filesystem::directory_iterator(dir.Path());
            EXPECT_EQ(std::distance(files, {}), 1) << int(op); // no temporary file left
        }
}

TEST(FileHelpers, FullDescriptorsAreWaitedForAndSendsTimeOut) {
    std::string big(1 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7 + i / 251);
    for (bool socket : {false, true}) {
        int sv[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
        ASSERT_EQ(fcntl(sv[0], F_SETFL, O_NONBLOCK), 0);
        std::string got;
        std::thread reader([&] { // slow at first, so that the writer finds it full
            char b[4096];
            ssize_t n;
            while ((n = read(sv[1], b, sizeof b)) > 0) {
                got.append(b, size_t(n));
                if (got.size() < 64 * 1024) usleep(1000);
            }
        });
        int rc = socket ? system::fileio::SendAll(sv[0], big.data(), big.size(), 8192, 60000)
                        : system::fileio::WriteAll(sv[0], big.data(), big.size());
        close(sv[0]);
        reader.join();
        close(sv[1]);
        EXPECT_EQ(rc, 0);
        EXPECT_TRUE(got == big) << socket;
    }
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, sv), 0);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(system::fileio::SendAll(sv[0], big.data(), big.size(), 8192, 50), ETIMEDOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(50));
    close(sv[0]);
    close(sv[1]);
}

} // namespace
