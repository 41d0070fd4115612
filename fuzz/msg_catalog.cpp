// Hostile catalog files: any bytes stored as a catalog on the search path,
// then texts, formatted texts and symbolic names looked up from it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "messages/msg_catalog.h"
#include "vrcore/msg.h"

namespace {

std::string Dir() {
    static std::string dir = [] {
        // Memory-backed when possible: a file is written per input.
        char tmpl[] = "/dev/shm/vrmsgfuzzXXXXXX";
        char fallback[] = "/tmp/vrmsgfuzzXXXXXX";
        const char *made = mkdtemp(tmpl);
        if (!made) made = mkdtemp(fallback);
        std::string d = made ? made : "/tmp";
        setenv("NLSPATH", (d + "/%N").c_str(), 1);
        static std::string remove_at_exit = d;
        std::atexit([] {
            unlink((remove_at_exit + "/C003.mdl").c_str());
            rmdir(remove_at_exit.c_str());
        });
        return d;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string path = Dir() + "/C003.mdl";
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    vr::msg::CatalogBytesValid(data, size);
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
    return 0;
}
