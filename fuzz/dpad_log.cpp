// Hostile change logs of the print server's job store: the input is the
// log, laid beside a small job database made once (two jobs, a printer
// disabled), and the store is opened (replaying it) and closed. The first
// byte's low bit seals each whole record with its right checksum, as the
// server writes it, so that hostile record bodies get past the check.
// Opening must not crash, hang or allocate beyond what the log holds, and
// what it settled must open again to the same jobs.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "dpad_store.h"
#include "dpad_scratch.h"
#include "vrcore/log.h"

namespace {

namespace dpad = vrcore::dpad;
namespace fs = std::filesystem;

constexpr size_t kFrame = 20; // length (4), number (8), checksum (8)

uint64_t Fnv(const char *p, size_t n, uint64_t h = 0xcbf29ce484222325ull) {
    for (size_t i = 0; i < n; ++i) h = (h ^ uint8_t(p[i])) * 0x100000001b3ull;
    return h;
}

// Gives every whole record the checksum of its number and body.
void Seal(std::string &log) {
    for (size_t at = 0; log.size() - at >= kFrame;) {
        auto *p = reinterpret_cast<const unsigned char *>(log.data() + at);
        size_t length = size_t(p[0]) << 24 | size_t(p[1]) << 16 | size_t(p[2]) << 8 | p[3];
        if (log.size() - at - kFrame < length) return;
        uint64_t sum = Fnv(log.data() + at + kFrame, length, Fnv(log.data() + at + 4, 8));
        for (int i = 0; i < 8; ++i) log[at + 12 + size_t(i)] = char(sum >> (56 - 8 * i));
        at += kFrame + length;
    }
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A root with a job database of a short session, kept as bytes to lay
// down again before every input.
struct Fixture {
    std::string root = ScratchBase() + "/dpad_log_fuzz." + std::to_string(::getpid());
    std::string database;

    Fixture() {
        LOG_Init("/dev/null", nullptr); // damaged records are reported
        std::error_code ec;
        fs::remove_all(root, ec);
        dpad::Store store;
        std::string why;
        if (!store.Open(root, &why)) std::abort();
        dpad::Job &held = store.NewJob("default");
        held.state = dpad::kStateHeld;
        held.owner = "alice";
        dpad::Job &done = store.NewJob("default");
        done.state = dpad::kStatePending;
        done.flags = dpad::kJobComplete;
        done.documents.push_back({5, "letter.txt"});
        done.octets = 5;
        store.PutData(done.id, 1, "hello");
        if (!store.Put(held) || !store.Put(done, 1) || !store.SetPrinterFlags("default", 1) ||
            !store.Sync())
            std::abort();
        store.Close();
        database = ReadFile(root + "/jobs.dbm");
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    void Lay(const std::string &log) {
        std::error_code ec;
        fs::remove_all(root + "/spool", ec);
        WriteFile(root + "/jobs.dbm", database);
        WriteFile(root + "/jobs.log", log);
    }
};

std::string Jobs(dpad::Store &store) {
    std::string out;
    for (const auto &[id, job] : store.Jobs()) {
        out += std::to_string(id) + ":" + std::to_string(job.state) + "/" +
               std::to_string(job.flags) + "/" + job.printer + "/" + job.owner;
        for (const dpad::Document &d : job.documents) out += "," + d.name;
        out += ";";
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    static Fixture f;
    std::string log(reinterpret_cast<const char *>(data + 1), size - 1);
    if (data[0] & 1) Seal(log);
    f.Lay(log);
    std::string why, first;
    {
        dpad::Store store;
        if (!store.Open(f.root, &why)) std::abort();
        first = Jobs(store);
    }
    // What the first opening settled is written back: the second finds it.
    dpad::Store again;
    if (!again.Open(f.root, &why) || Jobs(again) != first) std::abort();
    return 0;
}
