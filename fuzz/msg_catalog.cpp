// Hostile catalog files: any bytes stored as a catalog on the search path,
// then texts, formatted texts and symbolic names looked up from it.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "messages/msg_catalog.h"
#include "vrcore/msg.h"

namespace {

// One directory name per process (memory-backed when possible), created
// for each input and removed after it, so nothing is left behind however
// the run ends. NLSPATH is set once: setting it per input would grow the
// environment.
const std::string &DirName() {
    static const std::string dir = [] {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string d = base + "/vrmsgfuzz-" + std::to_string(getpid());
        setenv("NLSPATH", (d + "/%N").c_str(), 1);
        return d;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string &dir = DirName();
    if (mkdir(dir.c_str(), 0700) != 0) return 0;
    std::string path = dir + "/C003.mdl";
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        rmdir(dir.c_str());
        return 0;
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    vrcore::messages::CatalogBytesValid(data, size);
    // A fresh start each time: the cache would keep the previous file open.
    MSG_UsageEnd();
    MSG_UsageBegin("FUZ");
    STF_ArgRecord args[2] = {};
    args[0].type = STF_ARG_INT;
    args[0].value.i = 17;
    args[1].type = STF_ARG_STRING;
    args[1].value.p = "arg";
    char buf[64];
    uint32_t len;
    for (uint32_t code : {0xC0030001u, 0xC0030065u, 0xC0030073u, 0xC003FFFFu}) {
        MSG_GetUnformatted(1, code, nullptr, sizeof buf, &len, buf);
        MSG_GetFormattedByArray(1, code, 0, nullptr, sizeof buf, &len, buf, 2, args);
        MSG_GetFormattedByArray(2, code, 0, nullptr, 8, &len, buf, 1, args);
    }
    char p[9], k[11], n[11];
    MSG_GetSymbolicNames(1, 0xC0030065u, sizeof p, p, sizeof k, k, sizeof n, n, 0);
    unlink(path.c_str());
    rmdir(dir.c_str());
    return 0;
}
