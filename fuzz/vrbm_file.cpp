// Hostile database files: the input's first byte chooses how the file is
// opened and what is done with it, the rest is the file. Lookups must not
// crash or read out of bounds; a file the checker accepts must still be
// accepted after stores and deletes.
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 64 * 1024) return 0;
    uint8_t mode = data[0];
    std::string file = Base() + ".dbm";
    FILE *f = std::fopen(file.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);

    int flags = mode & 1 ? VRBM_RDWR : VRBM_RDONLY;
    VRBM_Db *db = VRBM_open(Base().c_str(), flags, 0, (mode >> 1) & 1);
    if (!db) return 0;
    bool valid = vrbm::CheckTree(db).empty();
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
            std::string fault = vrbm::CheckTree(db);
            if (!fault.empty()) {
                std::fprintf(stderr, "valid file broken by changes: %s\n", fault.c_str());
                std::abort();
            }
        }
    }
    VRBM_close(db);
    unlink(file.c_str());
    return 0;
}
