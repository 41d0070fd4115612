// Spool names and files, inline content, file references, filter versions
// and the FTP reply reader.

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "ft_fixture.h"

using namespace vrcore::ft;

namespace {

GEN_DocumentContent Inline(std::string &bytes, int32_t encoding = GEN_EXTERNAL_OCTET_ALIGNED) {
    GEN_DocumentContent c{};
    c.choice = GEN_CONTENT_INCLUDED;
    c.u.included.encoding = encoding;
    c.u.included.data.length = static_cast<int32_t>(bytes.size());
    c.u.included.data.value = reinterpret_cast<unsigned char *>(bytes.data());
    return c;
}

} // namespace

TEST_F(TransferTest, HostileJobIdentifiersStayInsideTheSpoolDirectory) {
    std::string data = "payload";
    GEN_DocumentContent c = Inline(data);
    std::set<std::string> seen;
    for (std::string job : std::vector<std::string>{"../../escape", "a/b", "..", "/abs/olute", "%2F", "x\ny", std::string(255, '/'),
                            std::string(254, 'a') + "1", std::string(254, 'a') + "2"}) {
        SetJob(job, 1);
        FT_Result r{};
        ASSERT_EQ(FT_ExternalToFile(&c, &id_, &spool_, &r), 0u) << job;
        fs::path p(r.spool_name);
        EXPECT_EQ(p.parent_path(), fs::path(spool_dir_)) << job;
        std::string name = p.filename().string();
        EXPECT_EQ(name.rfind("ft_", 0), 0u);
        EXPECT_LE(name.size(), 255u);
        EXPECT_EQ(name.find('/'), std::string::npos);
        EXPECT_NE(name.find(".orig"), std::string::npos);
        EXPECT_EQ(name.find(".tmp"), std::string::npos);
        EXPECT_EQ(Read(r.spool_name), data);
        EXPECT_EQ(Mode(r.spool_name), 0600u);
        seen.insert(name.substr(0, name.find(".1.")));
    }
    // Distinct identifiers, however long, keep distinct names.
    EXPECT_EQ(seen.size(), 9u);
    EXPECT_EQ(SpoolFiles().size(), 9u);
    EXPECT_EQ(fs::directory_iterator(root_)->path(), fs::path(spool_dir_)); // nothing beside it
    EXPECT_EQ(encode_job("a/../b%"), "a%2F..%2Fb%25");
}

TEST_F(TransferTest, SpoolFilesAreCreatedExclusivelyAndNeverThroughALink) {
    std::string victim = WriteFile("victim", "keep me");
    std::string name = spool_dir_ + "/ft_x.1.2.3.orig";
    fs::create_symlink(victim, name);
    {
        SpoolFile f;
        EXPECT_NE(f.create_named(name), 0u);
    }
    EXPECT_EQ(Read(victim), "keep me");
    EXPECT_TRUE(fs::is_symlink(name)); // a failed creation removes nothing it did not make

    // A finished ".tmp" never replaces a file of the final name.
    std::string existing = WriteFile("spool/ft_y.1.2.3.orig", "older document");
    {
        SpoolFile f;
        ASSERT_EQ(f.create_named(existing + ".tmp"), 0u);
        ASSERT_EQ(f.write_all("new", 3), 0u);
        EXPECT_NE(f.finish(Doc{"y", 1}), 0u);
    }
    EXPECT_EQ(Read(existing), "older document");
    EXPECT_FALSE(fs::exists(existing + ".tmp"));
}

TEST_F(TransferTest, InlineContent) {
    std::string data = RandomBytes(10000);
    GEN_DocumentContent c = Inline(data, GEN_EXTERNAL_ARBITRARY);
    FT_Result r{};
    ASSERT_EQ(FT_ExternalToFile(&c, &id_, &spool_, &r), 0u);
    EXPECT_EQ(r.size, data.size());
    EXPECT_EQ(Read(r.spool_name), data);
    fs::remove(r.spool_name);

    c.u.included.unused_bits = 3;
    EXPECT_EQ(FT_ExternalToFile(&c, &id_, &spool_, &r), FT_S_BADFD);
    GEN_DocumentContent one = Inline(data, GEN_EXTERNAL_SINGLE_ASN1);
    EXPECT_EQ(FT_ExternalToFile(&one, &id_, &spool_, &r), FT_S_BADFD);
    EXPECT_EQ(FT_ExternalToFile(&c, nullptr, &spool_, &r), FT_S_NODOCID);
    EXPECT_EQ(FT_ExternalToFile(nullptr, &id_, &spool_, &r), FT_S_NOCONTENT);
    // Through the method dispatcher as well.
    GEN_DocumentContent ok = Inline(data);
    EXPECT_EQ(FT_RetrieveToFile(&id_, &ok, FT_METHOD_WITH_REQUEST, &spool_, &r), 0u);
    EXPECT_EQ(SpoolFiles().size(), 1u);
    EXPECT_EQ(FT_RetrieveToFile(&id_, &ok, 448, &spool_, &r), FT_S_OTHER);
}

TEST_F(TransferTest, FileReferenceCopies) {
    std::string data = RandomBytes(300000);
    std::string src = WriteFile("doc", data);
    FT_Result r{};
    ASSERT_EQ(FT_RetrieveToFile(&id_, &Reference(src), FT_METHOD_FILE_REFERENCE, &spool_, &r), 0u);
    EXPECT_EQ(Read(r.spool_name), data);
    EXPECT_EQ(r.size, data.size());
    EXPECT_EQ(Mode(r.spool_name), 0600u);
    EXPECT_EQ(std::string(r.spool_name).find(".tmp"), std::string::npos);
    fs::remove(r.spool_name);

    // Missing files, directories and bad names leave nothing behind.
    EXPECT_EQ(FT_RetrieveToFile(&id_, &Reference(root_ + "/none"), FT_METHOD_FILE_REFERENCE, &spool_, &r),
              FT_S_FAILED);
    EXPECT_EQ(FT_RetrieveToFile(&id_, &Reference(root_), FT_METHOD_FILE_REFERENCE, &spool_, &r),
              FT_S_FAILED);
    GEN_DocumentContent &nul = Reference(std::string("a\0b", 3));
    EXPECT_EQ(FT_RetrieveToFile(&id_, &nul, FT_METHOD_FILE_REFERENCE, &spool_, &r), FT_S_OTHER);
    EXPECT_EQ(FT_RetrieveToFile(&id_, nullptr, FT_METHOD_FILE_REFERENCE, &spool_, &r), FT_S_NOCONTENT);
    EXPECT_TRUE(SpoolFiles().empty());
}

TEST_F(TransferTest, FiltersKeepOrigAndLeaveTheLatestInPrev) {
    std::string original = RandomBytes(9000);
    FT_Result r{};
    ASSERT_EQ(FT_RetrieveToFile(&id_, &Reference(WriteFile("doc", original)), FT_METHOD_FILE_REFERENCE,
                                &spool_, &r),
              0u);
    std::string base = std::string(r.spool_name).substr(0, std::string(r.spool_name).rfind(".orig"));
    std::string expect = original;
    for (int pass = 1; pass <= 4; ++pass) {
        FT_Filter f{};
        ASSERT_EQ(FT_PPStartGetDataBuffer(&id_, r.spool_name, nullptr, &f), 0u);
        ASSERT_EQ(FT_PPStartSetDataBuffer(&id_, &f), 0u);
        // Each pass writes its tag, a changed first chunk, then the rest.
        char chunk[1000];
        size_t n = 0;
        int end = 0;
        ASSERT_EQ(FT_PPGetDataBuffer(&id_, &f, chunk, sizeof chunk, &n, &end), 0u);
        ASSERT_EQ(n, sizeof chunk);
        for (auto &c : chunk) c = static_cast<char>(c ^ pass);
        std::string tag = "pass" + std::to_string(pass);
        ASSERT_EQ(FT_PPSetDataBuffer(&id_, &f, tag.data(), tag.size(), 0), 0u);
        ASSERT_EQ(FT_PPSetDataBuffer(&id_, &f, chunk, n, 0), 0u);
        if (pass % 2) {
            ASSERT_EQ(FT_PPAppendFileRemainder(&id_, &f), 0u);
        } else {
            std::string rest(20000, '\0');
            ASSERT_EQ(FT_PPGetDataBuffer(&id_, &f, rest.data(), rest.size(), &n, &end), 0u);
            ASSERT_EQ(FT_PPSetDataBuffer(&id_, &f, rest.data(), n, 1), 0u);
        }
        std::string head = expect.substr(0, 1000);
        for (auto &c : head) c = static_cast<char>(c ^ pass);
        expect = tag + head + expect.substr(1000);
        EXPECT_EQ(Read(base + ".prev"), expect) << pass;
        EXPECT_EQ(Read(base + ".orig"), original);
        EXPECT_FALSE(fs::exists(base + ".curr"));
        EXPECT_EQ(f.input, -1);
        EXPECT_EQ(f.output, -1);
    }
    char name[FT_NAME_MAX];
    ASSERT_EQ(FT_VersionName(base.c_str(), FT_VERSION_CURR, name, sizeof name), 0u);
    EXPECT_EQ(std::string(name), base + ".curr");
    EXPECT_EQ(FT_VersionName(base.c_str(), 9, name, sizeof name), FT_S_OTHER);
    EXPECT_EQ(FT_VersionName(base.c_str(), FT_VERSION_PREV, name, base.size() + 3), FT_S_OTHER);
}

TEST_F(TransferTest, FilterInputFallsBackToTheReferencedFile) {
    std::string ref = WriteFile("kept-by-reference", "referenced bytes");
    std::string name = spool_dir_ + "/ft_job.3.1.2.orig";
    FT_Filter f{};
    ASSERT_EQ(FT_PPStartGetDataBuffer(&id_, name.c_str(), ref.c_str(), &f), 0u);
    char buf[64];
    size_t n = 0;
    int end = 0;
    ASSERT_EQ(FT_PPGetDataBuffer(&id_, &f, buf, sizeof buf, &n, &end), 0u);
    EXPECT_EQ(std::string(buf, n), "referenced bytes");
    ASSERT_EQ(FT_PPGetDataBuffer(&id_, &f, buf, sizeof buf, &n, &end), 0u);
    EXPECT_TRUE(end);
    FT_PPAbort(&id_, &f);
    EXPECT_EQ(FT_PPStartGetDataBuffer(&id_, name.c_str(), nullptr, &f), FT_S_OTHER);
    EXPECT_EQ(FT_PPStartGetDataBuffer(&id_, "no-version-suffix", ref.c_str(), &f), FT_S_OTHER);
}

// A reference to a device or a FIFO is refused before anything is read or
// written: /dev/zero would fill the spool, and a FIFO without a writer
// would block the receiving thread for ever. Each call runs in a child
// bounded in file size and time, so a fault fails the test instead of
// hanging it or filling the disk.
TEST_F(TransferTest, ReferencesToDevicesAndFifosAreRefused) {
    std::string fifo = root_ + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string unfiltered = spool_dir_ + "/ft_job.3.1.2.orig"; // no version: the filter falls back
    // Each runs in a child process, which needs no clean-up.
    FT_Result r{};
    FT_Buffer *b = nullptr;
    FT_Filter f{};
    const std::pair<const char *, std::function<uint32_t(const std::string &)>> entries[] = {
        {"into a spool file",
         [&](auto &p) { return FT_RetrieveToFile(&id_, &Reference(p), FT_METHOD_FILE_REFERENCE, &spool_, &r); }},
        {"into a buffer",
         [&](auto &p) {
             return FT_BufferInit(&id_, nullptr, &Reference(p), FT_METHOD_FILE_REFERENCE, 0, FT_ROLE_RECEIVER, &b, 1);
         }},
        {"into a filter", [&](auto &p) { return FT_PPStartGetDataBuffer(&id_, unfiltered.c_str(), p.c_str(), &f); }},
    };
    for (const std::string &target : {std::string("/dev/zero"), fifo}) {
        for (const auto &[how, call] : entries) {
            // The child's status: the low byte of the code, 1 for a leaked
            // descriptor, or 128 + the signal of an exceeded bound.
            int status = vrtest::InChild([&, &call = call] {
                rlimit spool_bound{1 << 20, 1 << 20};
                setrlimit(RLIMIT_FSIZE, &spool_bound);
                alarm(5);
                size_t fds = OpenFds();
                uint32_t rc = call(target);
                return OpenFds() != fds ? 1 : static_cast<int>(rc & 0xFF);
            });
            EXPECT_EQ(status, static_cast<int>(FT_S_FAILED & 0xFF)) << target << " " << how;
            EXPECT_TRUE(SpoolFiles().empty()) << target << " " << how;
            fs::remove_all(spool_dir_); // a fault above must not fail the cases after it
            fs::create_directory(spool_dir_);
        }
    }
}

TEST_F(TransferTest, FailedFilterRenameIsRetriedThenLeavesNoCurr) {
    std::string name = WriteFile("spool/ft_job.3.1.2.orig", "original");
    std::string base = spool_dir_ + "/ft_job.3.1.2";
    static int pauses;
    pauses = 0;
    set_rename_pause([](int, void *) { ++pauses; }, nullptr);
    FT_Filter f{};
    ASSERT_EQ(FT_PPStartGetDataBuffer(&id_, name.c_str(), nullptr, &f), 0u);
    ASSERT_EQ(FT_PPStartSetDataBuffer(&id_, &f), 0u);
    fs::create_directories(base + ".prev/blocker"); // renaming onto a full directory fails
    EXPECT_EQ(FT_PPAppendFileRemainder(&id_, &f), FT_S_FAILED);
    EXPECT_EQ(pauses, 9);
    EXPECT_FALSE(fs::exists(base + ".curr"));
    EXPECT_EQ(Read(name), "original");
}

TEST(FtpReplyReader, SplitsSingleAndMultiLineReplies) {
    // Inside a multi-line reply, lines with other codes, with the same
    // code and "-", or without a code are text; "ddd " ends it.
    struct Case {
        std::string wire;
        std::vector<std::pair<int, std::string>> replies;
    };
    const Case cases[] = {
        {"220-Welcome\r\n221 other code inside\r\n  indented\r\n220-still going\r\n220 ready\r\n"
         "331 password please\n230\r\n",
         {{220, "Welcome\n221 other code inside\n  indented\n220-still going\nready"},
          {331, "password please"},
          {230, ""}}},
        {"211-Features\r\n 211 MDTM\r\n211-x\r\n211 End\r\n", {{211, "Features\n 211 MDTM\n211-x\nEnd"}}},
    };
    FtpReply r;
    for (const Case &c : cases) {
        // Whole, and fed one byte at a time.
        for (int bytewise = 0; bytewise < 2; ++bytewise) {
            FtpReplyReader rd;
            if (bytewise)
                for (char ch : c.wire) rd.feed(&ch, 1);
            else
                rd.feed(c.wire.data(), c.wire.size());
            for (const auto &[code, text] : c.replies) {
                ASSERT_TRUE(rd.next(r)) << c.wire;
                EXPECT_EQ(r.code, code);
                EXPECT_EQ(r.text, text);
            }
            EXPECT_FALSE(rd.next(r));
            EXPECT_FALSE(rd.failed());
        }
    }

    for (std::string bad : std::vector<std::string>{"hello\r\n", "2x0 no\r\n", "620 range\r\n", "220x\r\n"}) {
        FtpReplyReader rd;
        rd.feed(bad.data(), bad.size());
        EXPECT_TRUE(rd.failed()) << bad;
        EXPECT_FALSE(rd.next(r));
    }
    FtpReplyReader endless;
    std::string line = "220-" + std::string(1000, 'x') + "\r\n";
    for (int i = 0; i < 100 && !endless.failed(); ++i) endless.feed(line.data(), line.size());
    EXPECT_TRUE(endless.failed());
}

TEST(FtpSource, RefusesLineBreaksAndMalformedSources) {
    std::string host, path;
    uint16_t port = 0;
    ASSERT_TRUE(parse_ftp_source("ftp://example.org:2121/dir/doc.ps", host, port, path));
    EXPECT_EQ(host, "example.org");
    EXPECT_EQ(port, 2121);
    EXPECT_EQ(path, "dir/doc.ps");
    ASSERT_TRUE(parse_ftp_source("h//abs", host, port, path));
    EXPECT_EQ(port, 21);
    EXPECT_EQ(path, "/abs");
    for (std::string bad : std::vector<std::string>{"h/doc\r\nDELE x", "h/doc\nx", "h\r/doc", "h/doc\r", std::string("h/a\0b", 5),
                            "/doc", "h/", "h:0/d", "h:65536/d", "h:/d", "h:2x/d", "h x/d"})
        EXPECT_FALSE(parse_ftp_source(bad, host, port, path)) << bad;
}
