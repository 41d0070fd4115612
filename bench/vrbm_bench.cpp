// The B-tree database against other embedded key-value stores, same keys,
// values and order of operations: 20,000 random stores into a new file,
// 20,000 random fetches through a freshly opened handle (cold) and through
// one that has already served them (warm), and a scan of every item in key
// order. Each store run is one batch without syncing to disk. The file
// size after the stores is reported as the counter file_KiB.
//
// BM_VrbmWriteBack measures the B-tree's own durable write-back: the same
// 20,000 random stores written back once at the end or every 1,000 stores
// (close and reopen), with the journal and its syncs (journal:1) and
// without them (journal:0, the pages written in place unsynced).
//
// BM_VrbmCompact runs the offline compaction on the store workload, with
// deleted:N percent of the items deleted again, and reports the file size
// before and after as before_KiB and after_KiB.
#include "btree/vrbm_internal.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#ifdef VRBM_BENCH_BDB
#include <db.h>
#endif
#ifdef VRBM_BENCH_LMDB
#include <lmdb.h>
#endif
#ifdef VRBM_BENCH_SQLITE
#include <sqlite3.h>
#endif

namespace {

constexpr int kItems = 20000;

struct Data {
    std::vector<std::string> keys, values, fetch_order;
    Data() {
        std::mt19937_64 rng(42);
        char buf[32];
        for (int i = 0; i < kItems; i++) {
            std::snprintf(buf, sizeof buf, "%016llx", (unsigned long long)rng());
            keys.push_back(buf);
            std::string v(64, ' ');
            for (auto &c : v) c = char('a' + rng() % 26);
            values.push_back(v);
        }
        fetch_order = keys;
        std::shuffle(fetch_order.begin(), fetch_order.end(), rng);
    }
};
const Data &D() {
    static Data d;
    return d;
}

std::string Dir() {
    static std::string dir = [] {
        auto p = std::filesystem::temp_directory_path() / "vrbm_bench";
        std::filesystem::create_directories(p);
        return p.string();
    }();
    return dir;
}

class Store {
  public:
    virtual ~Store() = default;
    virtual void Create() = 0;
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual void Begin() {}
    virtual void Commit() {}
    virtual void Put(const std::string &k, const std::string &v) = 0;
    virtual size_t Get(const std::string &k) = 0; // bytes of the value, 0 when absent
    virtual size_t Scan() = 0;                    // items seen
    virtual std::string File() = 0;
};

class Vrbm : public Store {
    VRBM_Db *db_ = nullptr;
    std::string path_ = Dir() + "/vrbm";

  public:
    Vrbm() { vrcore::btree::SetDurability(false); } // unsynced, as the peers
    ~Vrbm() override { vrcore::btree::SetDurability(true); }
    void Create() override { db_ = VRBM_open(path_.c_str(), VRBM_RDWR | VRBM_CREAT, 0, 0); }
    void Open() override { db_ = VRBM_open(path_.c_str(), VRBM_RDWR, 0, 0); }
    void Close() override { VRBM_close(db_); }
    void Put(const std::string &k, const std::string &v) override {
        VRBM_store(db_, k.data(), int32_t(k.size()), v.data(), int32_t(v.size()), 0);
    }
    void Delete(const std::string &k) { VRBM_delete(db_, k.data(), int32_t(k.size())); }
    std::string Path() const { return path_; }
    size_t Get(const std::string &k) override {
        VRBM_Datum d = VRBM_fetch(db_, k.data(), int32_t(k.size()));
        return d.ptr ? size_t(d.len) : 0;
    }
    size_t Scan() override {
        size_t n = 0;
        vrcore::btree::ForEach(
            db_,
            [](void *ctx, const uint8_t *, unsigned, const uint8_t *, unsigned) {
                ++*static_cast<size_t *>(ctx);
                return true;
            },
            &n);
        return n;
    }
    std::string File() override { return path_ + ".dbm"; }
};

#ifdef VRBM_BENCH_BDB
class Bdb : public Store {
    DB *db_ = nullptr;
    std::string path_ = Dir() + "/bdb.db";
    void OpenFlags(uint32_t flags) {
        db_create(&db_, nullptr, 0);
        db_->open(db_, nullptr, path_.c_str(), nullptr, DB_BTREE, flags, 0644);
    }

  public:
    void Create() override {
        std::filesystem::remove(path_);
        OpenFlags(DB_CREATE);
    }
    void Open() override { OpenFlags(0); }
    void Close() override { db_->close(db_, 0); }
    void Put(const std::string &k, const std::string &v) override {
        DBT key{}, val{};
        key.data = const_cast<char *>(k.data());
        key.size = uint32_t(k.size());
        val.data = const_cast<char *>(v.data());
        val.size = uint32_t(v.size());
        db_->put(db_, nullptr, &key, &val, 0);
    }
    size_t Get(const std::string &k) override {
        DBT key{}, val{};
        key.data = const_cast<char *>(k.data());
        key.size = uint32_t(k.size());
        return db_->get(db_, nullptr, &key, &val, 0) == 0 ? val.size : 0;
    }
    size_t Scan() override {
        DBC *c;
        db_->cursor(db_, nullptr, &c, 0);
        DBT key{}, val{};
        size_t n = 0;
        while (c->get(c, &key, &val, DB_NEXT) == 0) n++;
        c->close(c);
        return n;
    }
    std::string File() override { return path_; }
};
#endif

#ifdef VRBM_BENCH_LMDB
class Lmdb : public Store {
    MDB_env *env_ = nullptr;
    MDB_txn *txn_ = nullptr;
    MDB_dbi dbi_ = 0;
    std::string path_ = Dir() + "/lmdb.mdb";
    MDB_txn *Txn() { // reads outside a batch use a read-only transaction
        if (!txn_) mdb_txn_begin(env_, nullptr, MDB_RDONLY, &txn_);
        return txn_;
    }

  public:
    void Create() override {
        std::filesystem::remove(path_);
        std::filesystem::remove(path_ + "-lock");
        Open();
    }
    void Open() override {
        mdb_env_create(&env_);
        mdb_env_set_mapsize(env_, size_t(256) << 20);
        mdb_env_open(env_, path_.c_str(), MDB_NOSUBDIR | MDB_NOSYNC, 0644);
        MDB_txn *t;
        mdb_txn_begin(env_, nullptr, 0, &t);
        mdb_dbi_open(t, nullptr, 0, &dbi_);
        mdb_txn_commit(t);
    }
    void Close() override {
        if (txn_) mdb_txn_abort(txn_);
        txn_ = nullptr;
        mdb_env_close(env_);
    }
    void Begin() override { mdb_txn_begin(env_, nullptr, 0, &txn_); }
    void Commit() override {
        mdb_txn_commit(txn_);
        txn_ = nullptr;
    }
    void Put(const std::string &k, const std::string &v) override {
        MDB_val key{k.size(), const_cast<char *>(k.data())};
        MDB_val val{v.size(), const_cast<char *>(v.data())};
        mdb_put(txn_, dbi_, &key, &val, MDB_NOOVERWRITE);
    }
    size_t Get(const std::string &k) override {
        MDB_val key{k.size(), const_cast<char *>(k.data())}, val;
        return mdb_get(Txn(), dbi_, &key, &val) == 0 ? val.mv_size : 0;
    }
    size_t Scan() override {
        MDB_cursor *c;
        mdb_cursor_open(Txn(), dbi_, &c);
        MDB_val key, val;
        size_t n = 0;
        while (mdb_cursor_get(c, &key, &val, MDB_NEXT) == 0) n++;
        mdb_cursor_close(c);
        return n;
    }
    std::string File() override { return path_; }
};
#endif

#ifdef VRBM_BENCH_SQLITE
class Sqlite : public Store {
    sqlite3 *db_ = nullptr;
    sqlite3_stmt *put_ = nullptr, *get_ = nullptr;
    std::string path_ = Dir() + "/sqlite.db";

  public:
    void Create() override {
        std::filesystem::remove(path_);
        Open();
        sqlite3_exec(db_, "CREATE TABLE kv (k BLOB PRIMARY KEY, v BLOB) WITHOUT ROWID", nullptr,
                     nullptr, nullptr);
        Prepare();
    }
    void Open() override {
        sqlite3_open(path_.c_str(), &db_);
        sqlite3_exec(db_, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr, nullptr,
                     nullptr);
        Prepare();
    }
    void Prepare() {
        sqlite3_finalize(put_);
        sqlite3_finalize(get_);
        sqlite3_prepare_v2(db_, "INSERT INTO kv VALUES (?, ?)", -1, &put_, nullptr);
        sqlite3_prepare_v2(db_, "SELECT v FROM kv WHERE k = ?", -1, &get_, nullptr);
    }
    void Close() override {
        sqlite3_finalize(put_);
        sqlite3_finalize(get_);
        put_ = get_ = nullptr;
        sqlite3_close(db_);
    }
    void Begin() override { sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr); }
    void Commit() override { sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr); }
    void Put(const std::string &k, const std::string &v) override {
        sqlite3_bind_blob(put_, 1, k.data(), int(k.size()), SQLITE_STATIC);
        sqlite3_bind_blob(put_, 2, v.data(), int(v.size()), SQLITE_STATIC);
        sqlite3_step(put_);
        sqlite3_reset(put_);
    }
    size_t Get(const std::string &k) override {
        sqlite3_bind_blob(get_, 1, k.data(), int(k.size()), SQLITE_STATIC);
        size_t n = sqlite3_step(get_) == SQLITE_ROW ? size_t(sqlite3_column_bytes(get_, 0)) : 0;
        sqlite3_reset(get_);
        return n;
    }
    size_t Scan() override {
        sqlite3_stmt *s;
        sqlite3_prepare_v2(db_, "SELECT k, v FROM kv ORDER BY k", -1, &s, nullptr);
        size_t n = 0;
        while (sqlite3_step(s) == SQLITE_ROW) n++;
        sqlite3_finalize(s);
        return n;
    }
    std::string File() override { return path_; }
};
#endif

template <class S> void Fill(S &s) {
    s.Create();
    s.Begin();
    for (int i = 0; i < kItems; i++) s.Put(D().keys[size_t(i)], D().values[size_t(i)]);
    s.Commit();
    s.Close();
}

template <class S> void BM_Store(benchmark::State &state) {
    S s;
    for (auto _ : state) Fill(s);
    state.SetItemsProcessed(state.iterations() * kItems);
    state.counters["file_KiB"] = double(std::filesystem::file_size(s.File())) / 1024;
}

template <class S> void Fetches(benchmark::State &state, bool cold) {
    S s;
    Fill(s);
    s.Open();
    size_t bytes = 0;
    for (auto &k : D().fetch_order) bytes += s.Get(k); // warms the handle
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            s.Close();
            state.ResumeTiming();
            s.Open();
        }
        bytes = 0;
        for (auto &k : D().fetch_order) bytes += s.Get(k);
    }
    if (bytes != size_t(kItems) * 64) state.SkipWithError("fetch lost items");
    s.Close();
    state.SetItemsProcessed(state.iterations() * kItems);
}

template <class S> void BM_FetchCold(benchmark::State &state) { Fetches<S>(state, true); }
template <class S> void BM_FetchWarm(benchmark::State &state) { Fetches<S>(state, false); }

template <class S> void BM_Scan(benchmark::State &state) {
    S s;
    Fill(s);
    s.Open();
    size_t seen = 0;
    for (auto _ : state) seen += s.Scan();
    if (seen != size_t(kItems) * size_t(state.iterations())) state.SkipWithError("scan lost items");
    s.Close();
    state.SetItemsProcessed(state.iterations() * kItems);
}

void BM_VrbmWriteBack(benchmark::State &state) {
    const int every = int(state.range(1));
    Vrbm s;
    vrcore::btree::SetDurability(state.range(0) != 0);
    for (auto _ : state) {
        s.Create();
        for (int i = 0; i < kItems; i++) {
            s.Put(D().keys[size_t(i)], D().values[size_t(i)]);
            if ((i + 1) % every == 0 && i + 1 < kItems) {
                s.Close();
                s.Open();
            }
        }
        s.Close();
    }
    state.SetItemsProcessed(state.iterations() * kItems);
    state.counters["write_backs"] = double((kItems + every - 1) / every);
}
BENCHMARK(BM_VrbmWriteBack)
    ->ArgsProduct({{0, 1}, {kItems, 1000}})
    ->ArgNames({"journal", "every"})
    ->UseRealTime() // the syncs wait for the disk
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

void BM_VrbmCompact(benchmark::State &state) {
    const int deleted = int(state.range(0));
    Vrbm s;
    double before = 0, after = 0;
    for (auto _ : state) {
        state.PauseTiming();
        s.Create();
        for (int i = 0; i < kItems; i++) s.Put(D().keys[size_t(i)], D().values[size_t(i)]);
        for (int i = 0; i < kItems; i++)
            if (i % 100 < deleted) s.Delete(D().fetch_order[size_t(i)]);
        s.Close();
        before = double(std::filesystem::file_size(s.File()));
        state.ResumeTiming();
        std::string report;
        if (vrcore::btree::CompactFile(s.Path(), &report) != 0) state.SkipWithError(report.c_str());
        after = double(std::filesystem::file_size(s.File()));
    }
    state.counters["before_KiB"] = before / 1024;
    state.counters["after_KiB"] = after / 1024;
}
BENCHMARK(BM_VrbmCompact)
    ->Arg(0)
    ->Arg(50)
    ->Arg(90)
    ->ArgName("deleted")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

#define PEER(S)                                                                                    \
    BENCHMARK_TEMPLATE(BM_Store, S)->Unit(benchmark::kMillisecond)->Iterations(5);                 \
    BENCHMARK_TEMPLATE(BM_FetchCold, S)->Unit(benchmark::kMillisecond)->Iterations(10);            \
    BENCHMARK_TEMPLATE(BM_FetchWarm, S)->Unit(benchmark::kMillisecond)->Iterations(10);            \
    BENCHMARK_TEMPLATE(BM_Scan, S)->Unit(benchmark::kMillisecond)->Iterations(20);

PEER(Vrbm)
#ifdef VRBM_BENCH_BDB
PEER(Bdb)
#endif
#ifdef VRBM_BENCH_LMDB
PEER(Lmdb)
#endif
#ifdef VRBM_BENCH_SQLITE
PEER(Sqlite)
#endif

} // namespace

BENCHMARK_MAIN();
