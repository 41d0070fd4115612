// Adding and deleting identifiers. An add stores five records in two files;
// when one store fails the earlier ones are deleted again, newest first.
#include <cstdio>
#include <cstring>
#include <vector>

#include "oid/registry_internal.h"
#include "oid/shortoid_internal.h"
#include "system/guard.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"

namespace vrcore::oid {
namespace {

constexpr const char *kSrc = "adddel";

std::string_view BinKey(const unsigned char *b) {
    return {reinterpret_cast<const char *>(b), BinLen(b)};
}

// One store of a multi-record change.
struct Step {
    VRBM_Db *db;
    std::string key, data;
    bool replace;
    const char *file_name; // for the log
};

// Stores the steps in order. On a failure the steps stored before it are
// deleted in reverse order; returns 0, the failed store's code turned into
// the registry's, or OID_S_INCONSISTENT when the undo failed too.
uint32_t StoreAll(STF_List *st, std::vector<Step> &steps, const char *fn) {
    for (size_t i = 0; i < steps.size(); i++) {
        Step &s = steps[i];
        uint32_t rc =
            VRBM_store(s.db, s.key.data(), static_cast<int32_t>(s.key.size()), s.data.data(),
                       static_cast<int32_t>(s.data.size()), s.replace ? 1 : 0);
        if (rc == 0) continue;
        Fail(st, rc);
        LOG_CondMessage(5, kSrc, __LINE__, "OID: %s, failed to store in %s file, result = %u\n", fn,
                        s.file_name, rc);
        bool undone = true;
        for (size_t j = i; j-- > 0;) {
            Step &u = steps[j];
            uint32_t drc = VRBM_delete(u.db, u.key.data(), static_cast<int32_t>(u.key.size()));
            if (drc != 0) {
                LOG_CondMessage(5, kSrc, __LINE__,
                                "OID: %s, failed to delete oid from %s file, result = %u.  DB in "
                                "inconsistent state!!\n",
                                fn, u.file_name, drc);
                undone = false;
            }
        }
        if (!undone) return Fail(st, OID_S_INCONSISTENT);
        return Fail(st, rc == VRBM_E_NOMEM ? OID_S_NOMEM : OID_S_ADDFAILED);
    }
    return 0;
}

bool Exists(VRBM_Db *db, std::string_view key) {
    VRBM_Datum d = VRBM_fetch(db, key.data(), static_cast<int32_t>(key.size()));
    return d.ptr != nullptr;
}

// Names share the locale file with the index numbers and the counter.
bool ValidNewName(const char *name) {
    if (!name) return false;
    size_t n = strnlen(name, OID_MAX_NAME + 1);
    return n >= 1 && n <= OID_MAX_NAME && !AllDigits({name, n}) && std::strcmp(name, kLastIndexKey);
}

} // namespace

uint32_t StoreRecord(STF_List *st, OID_Db *h, FileMask file, std::string_view key,
                     std::string_view data) {
    FileUse u(st, h, file);
    if (u.Status()) return u.Status();
    VRBM_Db *db = file == kMain ? u.Main() : file == kLocale ? u.Locale() : u.Link();
    uint32_t rc = VRBM_store(db, key.data(), static_cast<int32_t>(key.size()), data.data(),
                             static_cast<int32_t>(data.size()), 1);
    if (rc == 0) return 0;
    Fail(st, rc);
    return Fail(st, rc == VRBM_E_NOMEM ? OID_S_NOMEM : OID_S_ADDFAILED);
}

uint32_t AddDynamicIdentifier(STF_List *st, OID_Db *h, const unsigned char *binary,
                              const char *name, uint32_t syntax, const OID_Characteristics *chars,
                              uint32_t *short_out) {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (syntax > 127 || !short_out) return Fail(st, OID_S_INVALID);
    if (uint32_t rc = OID_AddOID(st, h, binary, name, chars, 0)) return rc;
    return Guarded(st, [&]() -> uint32_t {
        VRBM_Db *cv = GENU_GetCvrtHandle();
        std::lock_guard lk(DynamicLock());
        uint32_t rc = 0;
        std::vector<Step> steps;
        if (!cv) {
            rc = Fail(st, OID_S_NOCVRT);
        } else if (FindByName(name) || Exists(cv, name)) {
            rc = Fail(st, OID_S_NAMEEXISTS);
        } else if (FindByContent(binary + 2, binary[1]) || Exists(cv, BinKey(binary))) {
            rc = Fail(st, OID_S_VALUEEXISTS);
        } else {
            // The next free dynamic number.
            uint32_t id = kDynamicBase;
            while (Exists(cv, "b-" + std::to_string(id))) id++;
            std::string num = std::to_string(id);
            std::string bin(BinKey(binary));
            steps.push_back({cv, "b-" + num, bin + char(syntax), false, kCvrtFile});
            steps.push_back({cv, "a-" + num, std::string(name) + '\0', false, kCvrtFile});
            steps.push_back({cv, name, num + '\0', false, kCvrtFile});
            steps.push_back({cv, bin, num + '\0', false, kCvrtFile});
            rc = StoreAll(st, steps, "AddDynamicIdentifier()");
            if (rc == 0) *short_out = id;
        }
        if (rc != 0) {
            STF_List *sub = STF_CreateList(nullptr);
            if (!sub || OID_DeleteOID(sub, h, binary) != 0) rc = Fail(st, OID_S_INCONSISTENT);
            if (sub) STF_DeleteList(sub);
        }
        return rc;
    });
}

} // namespace vrcore::oid

using namespace vrcore::oid;

extern "C" {

VR_EXPORT uint32_t OID_AddOID(STF_List *st, OID_Db *h, const unsigned char *binary,
                              const char *name, const OID_Characteristics *chars,
                              int32_t mode) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (!WellFormedBinary(binary, OID_MAX_BINARY) || !ValidNewName(name) ||
        (mode != 0 && mode != 1))
        return Fail(st, OID_S_INVALID);
    return Guarded(st, [&]() -> uint32_t {
        FileUse u(st, h, kMain | kLocale);
        if (u.Status()) return u.Status();
        if (Exists(u.Locale(), name)) return Fail(st, OID_S_NAMEEXISTS);
        if (Exists(u.Main(), BinKey(binary))) return Fail(st, OID_S_VALUEEXISTS);
        if (mode == 1) return 0;
        if (!u.Writable()) {
            Fail(st, VRBM_E_READONLY);
            return Fail(st, OID_S_ADDFAILED);
        }
        std::string last;
        VRBM_Datum d = VRBM_fetch(u.Locale(), kLastIndexKey, int32_t(std::strlen(kLastIndexKey)));
        if (d.ptr && d.len > 0) last.assign(d.ptr, size_t(d.len));
        if (!last.empty() && last.back() == '\0') last.pop_back();
        if (!AllDigits(last) || last.size() > 9) {
            LOG_CondMessage(5, kSrc, __LINE__, "OID: OID_AddOID(), last-locale-index not found\n");
            return Fail(st, OID_S_ADDFAILED);
        }
        std::string index = std::to_string(std::stoul(last) + 1);
        std::string z = index + '\0';
        std::string bin(BinKey(binary));
        std::string ch(OID_CHARS_LEN, '\0');
        if (chars) ch.assign(reinterpret_cast<const char *>(chars->octets), OID_CHARS_LEN);
        std::vector<Step> steps;
        steps.push_back({u.Locale(), name, z, false, "locale"});
        steps.push_back({u.Locale(), index, std::string(name) + '\0', false, "locale"});
        steps.push_back({u.Main(), bin, z + ch, false, "main"});
        steps.push_back({u.Main(), index, bin + ch, false, "main"});
        steps.push_back({u.Locale(), kLastIndexKey, z, true, "locale"});
        return StoreAll(st, steps, "_OID__AddOID()");
    });
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

VR_EXPORT uint32_t OID_DeleteOID(STF_List *st, OID_Db *h, const unsigned char *binary) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (!WellFormedBinary(binary, OID_MAX_BINARY)) return Fail(st, OID_S_INVALID);
    return Guarded(st, [&]() -> uint32_t {
        FileUse u(st, h, kMain | kLocale);
        if (u.Status()) return u.Status();
        std::string rec, name_rec;
        if (!FetchCopy(u.Main(), BinKey(binary), rec)) return Fail(st, OID_S_NOTFOUND);
        std::string index(rec.c_str());
        CacheClearAll();
        uint32_t rc = 0;
        auto del = [&](VRBM_Db *db, std::string_view key) {
            uint32_t r = VRBM_delete(db, key.data(), static_cast<int32_t>(key.size()));
            if (r != 0 && r != VRBM_E_NOTFOUND && rc == 0) rc = r;
        };
        bool have_name = AllDigits(index) && FetchCopy(u.Locale(), index, name_rec);
        del(u.Main(), BinKey(binary));
        if (AllDigits(index)) {
            del(u.Main(), index);
            del(u.Locale(), index);
        }
        // The name goes only when it still names this identifier.
        std::string name(name_rec.c_str()), back;
        if (have_name && !name.empty() && FetchCopy(u.Locale(), name, back) &&
            std::string(back.c_str()) == index)
            del(u.Locale(), name);
        if (rc != 0) {
            Fail(st, rc);
            return Fail(st, OID_S_INCONSISTENT);
        }
        return 0;
    });
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

} // extern "C"
