// Shared pieces of the document transfer tests: a scratch directory with
// a spool directory inside, document identifiers and contents.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <vrcore/ft.h>
#include <vrcore/log.h>

#include "loopback.h"
#include "scratch.h"
#include "transfer/ft_internal.h"

namespace fs = std::filesystem;

using vrtest::ConnectLoopback;
using vrtest::LoopbackSocket;

class TransferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        LOG_Init("stderr", ""); // failures are expected; keep the output quiet
        char tmpl[] = "/tmp/vrft.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        spool_dir_ = root_ + "/spool";
        fs::create_directory(spool_dir_);
        spool_.directory = spool_dir_.c_str();
        SetJob("job-1", 3);
    }
    void TearDown() override {
        vrcore::ft::set_connect_pause(nullptr, nullptr);
        vrcore::ft::set_rename_pause(nullptr, nullptr);
        vrcore::ft::set_accept_timeout_ms(-1);
        vrcore::ft::set_ftp_timeout_ms(-1);
        fs::remove_all(root_);
    }

    void SetJob(const std::string &job, uint32_t num) {
        id_ = GEN_DocumentIdentifier{};
        job.copy(id_.job.value, sizeof id_.job.value - 1);
        num_ = num;
        id_.document_number = &num_;
    }

    // A content value referring to `path`; the bytes live in the fixture.
    GEN_DocumentContent &Reference(const std::string &path) {
        ref_text_ = path;
        content_ = GEN_DocumentContent{};
        content_.choice = GEN_CONTENT_REFERENCED;
        content_.u.referenced.specific_reference.length = static_cast<int32_t>(ref_text_.size());
        content_.u.referenced.specific_reference.value =
            reinterpret_cast<unsigned char *>(ref_text_.data());
        return content_;
    }

    std::string WriteFile(const std::string &name, const std::string &bytes) {
        std::string p = root_ + "/" + name;
        vrtest::WriteFile(p, bytes);
        return p;
    }

    static std::string Read(const std::string &path) { return vrtest::ReadFile(path); }

    static std::string RandomBytes(size_t n, unsigned seed = 7) {
        std::mt19937 g(seed);
        std::string s(n, '\0');
        for (auto &c : s) c = static_cast<char>(g());
        return s;
    }

    std::set<std::string> SpoolFiles() const {
        std::set<std::string> names;
        for (auto &e : fs::directory_iterator(spool_dir_)) names.insert(e.path().filename().string());
        return names;
    }

    // Open descriptors of the process: failures must not leak any.
    static size_t OpenFds() {
        size_t n = 0;
        for (auto &e : fs::directory_iterator("/proc/self/fd")) (void)e, ++n;
        return n;
    }

    static unsigned Mode(const std::string &path) {
        struct stat st{};
        stat(path.c_str(), &st);
        return st.st_mode & 07777;
    }

    std::string root_, spool_dir_, ref_text_;
    FT_SpoolInfo spool_{};
    GEN_DocumentIdentifier id_{};
    GEN_DocumentContent content_{};
    uint32_t num_ = 0;
};
