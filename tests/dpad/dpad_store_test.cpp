// The print server's store cut after any change of its files, by a death or
// by a power loss keeping none or some of the unsynced changes: it reopens
// with everything a Sync acknowledged and nothing half made.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <random>
#include <set>

#include "dpad_store.h"
#include "memfs.h"
#include "vrcore/log.h"

using namespace vrcore::dpad;

namespace {

namespace seam = vrcore::system::seam;
vrtest::MemFs *g_fs;
std::set<std::string> g_dirs; // the in-memory file system has names, not directories

const seam::Io &Fs() { return seam::CurrentIo(); }
const StoreIo kOnMemFs = {
    [](const char *p, int flags, unsigned mode) { return Fs().open(p, flags, mode); },
    [](int fd) { return Fs().close(fd); },
    [](int fd, void *b, size_t n, off_t at) { return Fs().pread(fd, b, n, at); },
    [](int fd, const void *b, size_t n, off_t at) { return Fs().pwrite(fd, b, n, at); },
    [](int fd) { return Fs().fsync(fd); },
    [](int fd) { return Fs().fsync(fd); },
    [](int fd, off_t n) { return Fs().ftruncate(fd, n); },
    [](const char *p, struct stat *st) {
        *st = {};
        st->st_mode = S_IFDIR;
        return g_dirs.count(p) ? 0 : Fs().stat(p, st);
    },
    [](const char *p, unsigned) { return g_dirs.insert(p).second ? 0 : (errno = EEXIST, -1); },
    [](const char *p) { return Fs().unlink(p); },
    [](const char *from, const char *to) { return Fs().rename(from, to); },
    [](const char *dir) { return Fs().sync_dir((std::string(dir) + "/.").c_str()); },
    [](const char *dir, std::vector<std::string> *names) {
        std::string in = std::string(dir) + "/";
        for (const std::string &n : g_fs->Names())
            if (n.compare(0, in.size(), in) == 0 && n.find('/', in.size()) == std::string::npos)
                names->push_back(n.substr(in.size()));
        return 0;
    },
    [](int fd) { return Fs().lock(fd, seam::LockKind::Flock, seam::LockMode::Exclusive, false); },
};

constexpr char kRoot[] = "/srv";

// What a Sync acknowledged of each job.
struct Acked {
    Job job;
    std::map<uint32_t, std::string> data;
    std::string attrs;
};
using Model = std::map<uint32_t, Acked>;

bool Ack(Store &s, Model &m, const Job &job, uint32_t doc = 0, const std::string &data = "") {
    if (!s.Put(job, doc) || !s.Sync()) return false;
    m[job.id].job = job;
    if (doc) m[job.id].data[doc] = data;
    return true;
}

// A document that completes its job: small ones travel in the log, large ones
// arrive in a spool file as a socket transfer does, or stop half way.
bool AddDocument(Store &s, Model &m, Job &job, const std::string &data, bool cut_off = false) {
    uint32_t n = uint32_t(job.documents.size() + 1);
    if (data.size() < 4096) {
        s.PutData(job.id, n, data);
    } else {
        job.flags |= kJobTransferring;
        if (!Ack(s, m, job)) return false;
        std::string part = s.DataPath(job.id, n) + ".part";
        int fd = Fs().open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        bool ok = fd >= 0 && Fs().pwrite(fd, data.data(), data.size() / 2, 0) > 0 &&
                  Fs().pwrite(fd, &data[data.size() / 2], data.size() / 2, off_t(data.size() / 2));
        if (fd >= 0) Fs().close(fd);
        if (!ok || cut_off || !MoveDurably(part, s.DataPath(job.id, n))) return false;
        job.flags &= uint8_t(~kJobTransferring);
    }
    job.documents.push_back({data.size(), "doc" + std::to_string(n)});
    job.octets += data.size();
    job.state = kStatePending;
    job.flags |= kJobComplete;
    return Ack(s, m, job, n, data);
}

bool WithAttributes(Store &s, Model &m, Job &job, const std::string &attrs) {
    if (!WriteFileAtomically(s.AttributesPath(job.id), attrs.data(), attrs.size())) return false;
    job.flags |= kJobHasAttributes;
    if (!Ack(s, m, job)) return false;
    m[job.id].attrs = attrs;
    return true;
}

// The server's life, up to the first failure.
bool Workload(Store &s, Model &m, uint8_t *printer) {
    std::string why;
    if (!s.Open(kRoot, &why)) return false;
    s.CheckpointAt(4000);
    Job &a = s.NewJob("lp");
    if (!Ack(s, m, a) || !AddDocument(s, m, a, std::string(300, 'a'))) return false;
    Job &b = s.NewJob("lp");
    if (!WithAttributes(s, m, b, "attrs") || !AddDocument(s, m, b, std::string(100000, 'b')))
        return false;
    Job &c = s.NewJob("lp");
    if (!AddDocument(s, m, c, "c")) return false;
    c.state = kStateCancelled;
    if (!Ack(s, m, c)) return false;
    s.DropData(c);
    b.state = kStateCompleted; // printed: flushed, not synced
    if (!s.Put(b) || !s.Flush()) return false;
    s.DropData(b);
    if (!WithAttributes(s, m, s.NewJob("lp"), "g")) return false; // the spool directory synced
    if (!s.SetPrinterFlags("lp", kPrinterPaused)) return false;
    *printer = kPrinterPaused;
    for (char d = 'd'; d < 'j'; ++d) // past the log's limit: a checkpoint
        if (!AddDocument(s, m, s.NewJob("lp"), std::string(900, d))) return false;
    s.Close();
    if (!s.Open(kRoot, &why)) return false;
    Job &f = s.NewJob("lp");
    return Ack(s, m, f) && !AddDocument(s, m, f, std::string(20000, 'f'), true);
}

int Rank(const Job &j) { return j.Terminal() ? 2 : j.state != kStatePreProcessing; }

std::optional<std::string> Data(Store &s, uint32_t job, uint32_t doc) {
    if (g_fs->Exists(s.DataPath(job, doc))) return g_fs->Read(s.DataPath(job, doc));
    int fd = s.OpenData(job, doc); // kept in the log: a memory file
    if (fd < 0) return std::nullopt;
    std::string out(1 << 17, '\0');
    out.resize(size_t(std::max<ssize_t>(pread(fd, out.data(), out.size(), 0), 0)));
    close(fd);
    return out;
}

void Check(const Model &m, uint8_t printer) {
    Store s;
    std::string why;
    ASSERT_TRUE(s.Open(kRoot, &why)) << why;
    std::set<std::string> needed;
    for (auto &[id, job] : s.Jobs()) {
        EXPECT_FALSE(job.flags & kJobTransferring) << id;
        if (job.flags & kJobHasAttributes) needed.insert(s.AttributesPath(id));
        for (uint32_t n = 1; !job.Terminal() && n <= job.documents.size(); ++n) {
            needed.insert(s.DataPath(id, n));
            auto data = Data(s, id, n);
            EXPECT_TRUE(data && data->size() == job.documents[n - 1].size) << id << "-" << n;
        }
    }
    for (const std::string &name : g_fs->Names()) // nothing partial, nothing of finished jobs
        EXPECT_TRUE(name.rfind(s.SpoolDir(), 0) != 0 || needed.count(name)) << name;
    for (auto &[id, a] : m) {
        const Job *got = s.Find(id);
        ASSERT_NE(got, nullptr) << id;
        EXPECT_GE(Rank(*got), Rank(a.job)) << id;
        EXPECT_TRUE(!a.job.Terminal() || got->state == a.job.state) << id;
        EXPECT_GE(got->documents.size(), a.job.documents.size()) << id;
        bool cut_off =
            (a.job.flags & kJobTransferring) && got->documents.size() == a.job.documents.size();
        EXPECT_TRUE(!cut_off || (got->state == kStateRetained && (got->flags & kJobFailed))) << id;
        for (auto &[n, bytes] : a.data)
            EXPECT_TRUE(got->Terminal() || Data(s, id, n) == bytes) << id << "-" << n;
        EXPECT_EQ(g_fs->Read(s.AttributesPath(id)), a.attrs) << id;
    }
    EXPECT_GE(s.PrinterFlags("lp"), printer); // the flag acknowledged, or one being set
    size_t jobs = s.Jobs().size();
    EXPECT_TRUE(s.Put(s.NewJob("lp")) && s.Sync());
    EXPECT_EQ(s.Jobs().size(), jobs + 1);
}

TEST(DpadStore, CutAnywhereKeepsWhatWasSyncedAndNothingHalfMade) {
    LOG_SetEnabled(0); // the cuts make the store complain at every turn
    vrtest::MemFs fs;
    g_fs = &fs;
    SetStoreIo(&kOnMemFs);
    std::mt19937 rng(3);
    long cuts = 0;
    for (int power : {0, 1, 2}) {
        std::mt19937 *some = power == 2 ? &rng : nullptr;
        for (long n = 0;; n++) {
            fs.Restore({});
            g_dirs.clear();
            Model m;
            uint8_t printer = 0;
            bool cut;
            {
                Store s;
                fs.changes_left = n;
                bool done = Workload(s, m, &printer);
                ASSERT_TRUE(done || fs.Dead()) << n;
                s.Close();
                cut = fs.Dead();
            }
            power ? fs.PowerLoss(some) : fs.Die();
            if (power) { // the recovery and a first request are cut as well
                Store s;
                std::string why;
                fs.changes_left = n % 13;
                if (s.Open(kRoot, &why)) s.Put(s.NewJob("lp")) && s.Sync();
                s.Close();
                fs.PowerLoss(some);
            }
            Check(m, printer);
            ASSERT_FALSE(HasFailure()) << "cut after change " << n << ", power loss " << power;
            if (!cut) break;
            cuts++;
        }
    }
    SetStoreIo(nullptr);
    EXPECT_GT(cuts, 300);
}

} // namespace
