// Shared pieces of the document transfer tests.
#pragma once

#include <deque>
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
using vrtest::ReadFile;

class TransferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        LOG_Init("stderr", ""); // failures are expected; keep the output quiet
        fs::create_directory(spool_dir_);
        spool_.directory = spool_dir_.c_str();
        SetJob("job-1", 3);
    }
    void TearDown() override {
        vrcore::transfer::SetConnectPause(nullptr, nullptr);
        vrcore::transfer::SetRenamePause(nullptr, nullptr);
        vrcore::transfer::SetAcceptTimeoutMs(-1);
        vrcore::transfer::SetFtpTimeoutMs(-1);
    }

    void SetJob(const std::string &job, uint32_t num) {
        id_ = GEN_DocumentIdentifier{};
        job.copy(id_.job.value, sizeof id_.job.value - 1);
        num_ = num;
        id_.document_number = &num_;
    }

    // A content value referring to `path`, kept by the fixture.
    GEN_DocumentContent &Reference(const std::string &path) {
        auto &[text, c] = refs_.emplace_back(path, GEN_DocumentContent{});
        c.choice = GEN_CONTENT_REFERENCED;
        c.u.referenced.specific_reference = GEN_OctetString{
            static_cast<int32_t>(text.size()), reinterpret_cast<unsigned char *>(text.data())};
        return c;
    }

    // Inline content holding `bytes`.
    static GEN_DocumentContent Inline(std::string &bytes,
                                      int32_t encoding = GEN_EXTERNAL_OCTET_ALIGNED) {
        GEN_DocumentContent c{};
        c.choice = GEN_CONTENT_INCLUDED;
        c.u.included.encoding = encoding;
        c.u.included.data = GEN_OctetString{static_cast<int32_t>(bytes.size()),
                                            reinterpret_cast<unsigned char *>(bytes.data())};
        return c;
    }

    std::string WriteFile(const std::string &name, const std::string &bytes) {
        vrtest::WriteFile(root_ + "/" + name, bytes);
        return root_ + "/" + name;
    }

    static std::string RandomBytes(size_t n, unsigned seed = 7) {
        std::mt19937 g(seed);
        std::string s(n, '\0');
        for (auto &c : s) c = static_cast<char>(g());
        return s;
    }

    std::set<std::string> SpoolFiles() const {
        std::set<std::string> names;
        for (auto &e : fs::directory_iterator(spool_dir_))
            names.insert(e.path().filename().string());
        return names;
    }

    // Open descriptors of the process: failures must not leak any.
    static size_t OpenFds() {
        auto files = fs::directory_iterator("/proc/self/fd");
        return static_cast<size_t>(std::distance(fs::begin(files), fs::end(files)));
    }

    static unsigned Mode(const std::string &path) {
        return static_cast<unsigned>(fs::status(path).permissions());
    }

    vrtest::ScratchDir scratch_{"vrft"};
    std::string root_ = scratch_.Path(), spool_dir_ = root_ + "/spool";
    FT_SpoolInfo spool_{};
    GEN_DocumentIdentifier id_{};
    std::deque<std::pair<std::string, GEN_DocumentContent>> refs_;
    uint32_t num_ = 0;
};
