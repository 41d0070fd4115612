// Spool names and files, inline content, file references and filter versions.

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <vector>

#include "ft_fixture.h"

using namespace vrcore::transfer;

TEST_F(TransferTest, HostileJobIdentifiersStayInsideTheSpoolDirectory) {
    std::string data = "payload";
    GEN_DocumentContent c = Inline(data);
    std::set<std::string> seen;
    for (std::string job : std::vector<std::string>{
             "../../escape", "a/b", "..", "/abs/olute", "%2F", "x\ny", std::string(255, '/'),
             std::string(254, 'a') + "1", std::string(254, 'a') + "2"}) {
        SetJob(job, 1);
        FT_Result r{};
        ASSERT_EQ(FT_ExternalToFile(&c, &id_, &spool_, &r), 0u) << job;
        fs::path p(r.spool_name);
        EXPECT_EQ(p.parent_path(), fs::path(spool_dir_)) << job;
        std::string name = p.filename().string();
        EXPECT_TRUE(name.rfind("ft_", 0) == 0 && name.size() <= 255 &&
                    name.find('/') == std::string::npos)
            << name;
        EXPECT_TRUE(name.find(".orig") != std::string::npos &&
                    name.find(".tmp") == std::string::npos)
            << name;
        EXPECT_EQ(ReadFile(r.spool_name), data);
        EXPECT_EQ(Mode(r.spool_name), 0600u);
        seen.insert(name.substr(0, name.find(".1.")));
    }
    // Distinct identifiers, however long, keep distinct names.
    EXPECT_EQ(seen.size(), 9u);
    EXPECT_EQ(SpoolFiles().size(), 9u);
    EXPECT_EQ(fs::directory_iterator(root_)->path(), fs::path(spool_dir_)); // nothing beside it
    EXPECT_EQ(EncodeJob("a/../b%"), "a%2F..%2Fb%25");
}

TEST_F(TransferTest, SpoolFilesAreCreatedExclusivelyAndNeverThroughALink) {
    std::string victim = WriteFile("victim", "keep me");
    std::string name = spool_dir_ + "/ft_x.1.2.3.orig";
    fs::create_symlink(victim, name);
    EXPECT_NE(SpoolFile().CreateNamed(name), 0u);
    EXPECT_EQ(ReadFile(victim), "keep me");
    EXPECT_TRUE(fs::is_symlink(name)); // a failed creation removes nothing it did not make

    // A finished ".tmp" never replaces a file of the final name.
    std::string existing = WriteFile("spool/ft_y.1.2.3.orig", "older document");
    {
        SpoolFile f;
        ASSERT_EQ(f.CreateNamed(existing + ".tmp"), 0u);
        ASSERT_EQ(f.WriteAll("new", 3), 0u);
        EXPECT_NE(f.Finish(Doc{"y", 1}), 0u);
    }
    EXPECT_EQ(ReadFile(existing), "older document");
    EXPECT_FALSE(fs::exists(existing + ".tmp"));
}

TEST_F(TransferTest, FiltersKeepOrigAndLeaveTheLatestInPrev) {
    std::string original = RandomBytes(9000), expect = original;
    FT_Result r{};
    ASSERT_EQ(FT_RetrieveToFile(&id_, &Reference(WriteFile("doc", original)),
                                FT_METHOD_FILE_REFERENCE, &spool_, &r),
              0u);
    std::string base =
        std::string(r.spool_name).substr(0, std::string(r.spool_name).rfind(".orig"));
    for (int pass = 1; pass <= 4; ++pass) {
        // Its tag, a changed first chunk, then the rest: copied by the library on odd passes.
        FT_Filter f{};
        ASSERT_EQ(FT_PPStartGetDataBuffer(&id_, r.spool_name, nullptr, &f), 0u);
        ASSERT_EQ(FT_PPStartSetDataBuffer(&id_, &f), 0u);
        std::string chunk(1000, '\0'), rest(20000, '\0'), tag = "pass" + std::to_string(pass);
        size_t n = 0;
        int end = 0;
        ASSERT_EQ(FT_PPGetDataBuffer(&id_, &f, chunk.data(), chunk.size(), &n, &end), 0u);
        ASSERT_EQ(n, chunk.size());
        for (auto &c : chunk) c = static_cast<char>(c ^ pass);
        ASSERT_EQ(FT_PPSetDataBuffer(&id_, &f, tag.data(), tag.size(), 0), 0u);
        ASSERT_EQ(FT_PPSetDataBuffer(&id_, &f, chunk.data(), n, 0), 0u);
        if (pass % 2) {
            ASSERT_EQ(FT_PPAppendFileRemainder(&id_, &f), 0u);
        } else {
            ASSERT_EQ(FT_PPGetDataBuffer(&id_, &f, rest.data(), rest.size(), &n, &end), 0u);
            ASSERT_EQ(FT_PPSetDataBuffer(&id_, &f, rest.data(), n, 1), 0u);
        }
        expect = tag + chunk + expect.substr(1000);
        EXPECT_EQ(ReadFile(base + ".prev"), expect) << pass;
        EXPECT_EQ(ReadFile(base + ".orig"), original);
        EXPECT_FALSE(fs::exists(base + ".curr"));
        EXPECT_TRUE(f.input == -1 && f.output == -1);
    }
    char name[FT_NAME_MAX];
    ASSERT_EQ(FT_VersionName(base.c_str(), FT_VERSION_CURR, name, sizeof name), 0u);
    EXPECT_EQ(std::string(name), base + ".curr");
    EXPECT_EQ(FT_VersionName(base.c_str(), 9, name, sizeof name), FT_S_OTHER);
    EXPECT_EQ(FT_VersionName(base.c_str(), FT_VERSION_PREV, name, base.size() + 3), FT_S_OTHER);
}

// A reference to a device or a FIFO is refused before anything is read or written
// (/dev/zero would fill the spool, a FIFO block for ever); the calls run in a child
// bounded in file size and time.
TEST_F(TransferTest, ReferencesToDevicesAndFifosAreRefused) {
    std::string fifo = root_ + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string unfiltered = spool_dir_ + "/ft_job.3.1.2.orig"; // no version: the filter falls back
    for (const std::string &target : {std::string("/dev/zero"), fifo}) {
        // The calls that did not fail as they should or leaked a descriptor,
        // or 128 + the signal of an exceeded bound.
        int status = vrtest::InChild([&] {
            rlimit spool_bound{1 << 20, 1 << 20};
            setrlimit(RLIMIT_FSIZE, &spool_bound);
            alarm(5);
            FT_Result r{};
            FT_Buffer *b = nullptr;
            FT_Filter f{};
            size_t fds = OpenFds();
            int wrong = 0;
            for (uint32_t rc :
                 {FT_RetrieveToFile(&id_, &Reference(target), FT_METHOD_FILE_REFERENCE, &spool_,
                                    &r),
                  FT_BufferInit(&id_, nullptr, &Reference(target), FT_METHOD_FILE_REFERENCE, 0,
                                FT_ROLE_RECEIVER, &b, 1),
                  FT_PPStartGetDataBuffer(&id_, unfiltered.c_str(), target.c_str(), &f)})
                wrong += rc != FT_S_FAILED;
            return wrong + (OpenFds() != fds);
        });
        EXPECT_EQ(status, 0) << target;
        EXPECT_TRUE(SpoolFiles().empty()) << target;
    }
}

TEST_F(TransferTest, FailedFilterRenameIsRetriedThenLeavesNoCurr) {
    std::string name = WriteFile("spool/ft_job.3.1.2.orig", "original");
    std::string base = spool_dir_ + "/ft_job.3.1.2";
    static int pauses;
    pauses = 0;
    SetRenamePause([](int, void *) { ++pauses; }, nullptr);
    FT_Filter f{};
    ASSERT_EQ(FT_PPStartGetDataBuffer(&id_, name.c_str(), nullptr, &f), 0u);
    ASSERT_EQ(FT_PPStartSetDataBuffer(&id_, &f), 0u);
    fs::create_directories(base + ".prev/blocker"); // renaming onto a full directory fails
    EXPECT_EQ(FT_PPAppendFileRemainder(&id_, &f), FT_S_FAILED);
    EXPECT_EQ(pauses, 9);
    EXPECT_FALSE(fs::exists(base + ".curr"));
    EXPECT_EQ(ReadFile(name), "original");
}
