// Hostile database files and journals: the input's first byte chooses how
// the file is opened and what is done with it, the rest is the file, after
// an optional journal beside it (bit 2: a 16-bit length and the journal;
// bit 4 gives the journal a correct checksum, so that hostile content gets
// past it; bit 3 runs the checking tool instead of opening). Opening and
// lookups must not crash or read out of bounds; a file the checker accepts
// must still be accepted after stores and deletes.
#include "btree/vrbm_internal.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string Base() {
    static std::string base = [] {
        char buf[64];
        std::snprintf(buf, sizeof buf, "/tmp/vrbm_fuzz_%d", int(getpid()));
        return std::string(buf);
    }();
    return base;
}

void Lookups(VRBM_Db *db, const uint8_t *data, size_t size) {
    for (size_t off = 0; off + 1 < size && off < 64; off += 9) {
        int32_t len = int32_t(data[off] % 12);
        if (off + 1 + size_t(len) > size) break;
        const char *k = reinterpret_cast<const char *>(data + off + 1);
        VRBM_Datum d = VRBM_fetch(db, k, len);
        if (d.ptr && d.len > 0) (void)(volatile char)d.ptr[d.len - 1];
        VRBM_MatchNode *list = nullptr;
        d = VRBM_fetchAbbrev(db, k, len, &list, 1);
        VRBM_freeMatchList(d.len == VRBM_LEN_AMBIGUOUS || d.ptr ? list : nullptr);
        d = VRBM_fetchName(db, k, len, 0);
        if (d.ptr && d.len > 0) (void)(volatile char)d.ptr[0];
    }
}

// The journal's checksum (FNV-1a over all but its own 8 bytes).
void Seal(std::string &j) {
    if (j.size() < 32) return;
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < j.size(); i++)
        if (i < 24 || i >= 32) h = (h ^ uint8_t(j[i])) * 0x100000001b3ull;
    for (int i = 0; i < 8; i++) j[24 + size_t(i)] = char(h >> (8 * i));
}

bool Put(const std::string &path, const void *bytes, size_t n) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fwrite(bytes, 1, n, f);
    std::fclose(f);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 64 * 1024) return 0;
    static const vrcore::system::seam::Io io = [] { // durability plays no part here: no syncs
        vrcore::system::seam::Io t = vrcore::system::seam::SystemIo();
        t.fsync = [](int) { return 0; };
        t.sync_dir = [](const char *) { return 0; };
        return t;
    }();
    vrcore::system::seam::SetIo(&io);
    uint8_t mode = data[0];
    std::string file = Base() + ".dbm", journal = Base() + VRBM_JOURNAL_SUFFIX;
    size_t at = 1;
    unlink(journal.c_str());
    if (mode & 4) {
        if (size < 3) return 0;
        size_t len = data[1] | size_t(data[2]) << 8;
        if (len > size - 3) len = size - 3;
        std::string j(reinterpret_cast<const char *>(data + 3), len);
        if (mode & 16) Seal(j);
        if (!Put(journal, j.data(), j.size())) return 0;
        at = 3 + len;
    }
    if (!Put(file, data + at, size - at)) return 0;
    if (mode & 8) {
        std::string report;
        vrcore::btree::CheckFile(Base(), false, false, &report);
        unlink(journal.c_str());
        unlink(file.c_str());
        return 0;
    }

    int flags = mode & 1 ? VRBM_RDWR : VRBM_RDONLY;
    VRBM_Db *db = VRBM_open(Base().c_str(), flags, 0, (mode >> 1) & 1);
    if (!db) {
        unlink(journal.c_str());
        return 0;
    }
    bool valid = vrcore::btree::CheckTree(db).empty();
    Lookups(db, data, size);
    if (flags == VRBM_RDWR) {
        uint32_t seed = mode;
        for (int i = 0; i < 40; i++) {
            seed = seed * 1103515245u + 12345u;
            std::string k = std::to_string(seed % 997) + std::string((seed >> 8) % 40, 'k');
            std::string d((seed >> 16) % 200, 'd');
            if ((seed >> 24) % 3)
                VRBM_store(db, k.data(), int32_t(k.size()), d.data(), int32_t(d.size()), 1);
            else
                VRBM_delete(db, k.data(), int32_t(k.size()));
        }
        if (valid) {
            std::string fault = vrcore::btree::CheckTree(db);
            if (!fault.empty()) {
                std::fprintf(stderr, "valid file broken by changes: %s\n", fault.c_str());
                std::abort();
            }
        }
    }
    VRBM_close(db);
    unlink(journal.c_str());
    unlink(file.c_str());
    return 0;
}
