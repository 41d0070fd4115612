// Making a new registry: the files of the directory, every built-in
// identifier with characteristics derived from its name prefix, syntax code
// and place in the identifier tree, and the records of syntaxes, object
// classes and value classes.
//
// Derivation:
// - value classes ("id-vc-") are numbered 1, 2, ... in table order;
// - object classes ("id-oc-") take the last arc of their value when it sits
//   under an object-class arc (".1.3"), else the free numbers from 55 down;
// - attributes ("id-att-") are single-valued, valid for every operation and
//   for the object class whose value is their parent arc (or whose number
//   is the parent's last arc under an object-class arc), else for every
//   class; a syntax that needs a value class gets the value class whose
//   name is the longest ending of the attribute's name;
// - values ("id-val-") get the value class whose value is their parent arc,
//   else the one whose name is the longest beginning of theirs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "oid/registry_internal.h"
#include "oid/shortoid_internal.h"
#include "system/config.h"
#include "system/seam.h"
#include "vrcore/log.h"

namespace vrcore::oid {
namespace {

constexpr const char *kSrc = "oidcreate";

std::string_view Parent(std::string_view d) {
    size_t p = d.rfind('.');
    return p == std::string_view::npos ? std::string_view() : d.substr(0, p);
}
std::string_view LastArc(std::string_view d) {
    size_t p = d.rfind('.');
    return p == std::string_view::npos ? d : d.substr(p + 1);
}
bool EndsWith(std::string_view s, std::string_view e) {
    return s.size() >= e.size() && s.substr(s.size() - e.size()) == e;
}
bool StartsWith(std::string_view s, std::string_view b) { return s.substr(0, b.size()) == b; }

std::string Dotted(const unsigned char *binary) {
    STF_List *st = STF_CreateList(nullptr);
    char text[OID_MAX_DOTTED];
    uint32_t len = sizeof text;
    bool ok = st && OID_ConvertBinToDec(st, binary, nullptr, &len, text) == 0;
    if (st) STF_DeleteList(st);
    return ok ? std::string(text, len) : std::string();
}

// What the derivation needs of the whole table, computed once.
struct Tables {
    std::map<std::string, uint16_t, std::less<>> vc_by_value; // dotted -> number
    std::vector<std::pair<std::string, uint16_t>> vc_by_name; // "job-state" -> number
    std::map<std::string, uint16_t, std::less<>> oc_by_value;
    std::vector<bool> oc_number = std::vector<bool>(OID_MAX_OBJECT_CLASS + 1, false);
};

const Tables &T() {
    static const Tables t = [] {
        Tables t;
        uint16_t vc = 0;
        std::vector<std::string> pending;
        for (uint32_t r = 0; r < kRowCount; r++) {
            const BuiltinRow &row = kBuiltinRows[r];
            if (!row.binary) continue;
            std::string_view name(row.name);
            std::string d = Dotted(row.binary);
            if (StartsWith(name, "id-vc-")) {
                ++vc;
                t.vc_by_value.emplace(d, vc);
                t.vc_by_name.emplace_back(std::string(name.substr(6)), vc);
            } else if (StartsWith(name, "id-oc-")) {
                unsigned long n = std::strtoul(std::string(LastArc(d)).c_str(), nullptr, 10);
                if (EndsWith(Parent(d), ".1.3") && n <= OID_MAX_OBJECT_CLASS && !t.oc_number[n]) {
                    t.oc_by_value.emplace(d, uint16_t(n));
                    t.oc_number[n] = true;
                } else {
                    pending.push_back(d);
                }
            }
        }
        unsigned next = OID_MAX_OBJECT_CLASS;
        for (const std::string &d : pending) {
            while (next > 0 && t.oc_number[next]) next--;
            t.oc_by_value.emplace(d, uint16_t(next));
            t.oc_number[next] = true;
        }
        return t;
    }();
    return t;
}

// The value class named by the longest ending (attributes) or beginning
// (values) of a name, on a component boundary.
uint16_t ValueClassByName(std::string_view rest, bool ending) {
    const Tables &t = T();
    size_t best = 0;
    uint16_t num = 0;
    for (const auto &[vcName, n] : t.vc_by_name) {
        bool hit = rest == vcName ||
                   (ending ? EndsWith(rest, "-" + vcName) : StartsWith(rest, vcName + "-"));
        if (hit && vcName.size() > best) {
            best = vcName.size();
            num = n;
        }
    }
    return num;
}

uint32_t AttributeClass(std::string_view dotted) {
    const Tables &t = T();
    std::string_view parent = Parent(dotted);
    auto it = t.oc_by_value.find(parent);
    if (it != t.oc_by_value.end()) return it->second;
    if (EndsWith(Parent(parent), ".1.3")) {
        unsigned long n = std::strtoul(std::string(LastArc(parent)).c_str(), nullptr, 10);
        if (n <= OID_MAX_OBJECT_CLASS && t.oc_number[n]) return uint32_t(n);
    }
    return 0;
}

} // namespace

OID_Characteristics DeriveChars(std::string_view name, std::string_view dotted, uint32_t syntax) {
    OID_Characteristics c{};
    const Tables &t = T();
    if (StartsWith(name, "id-att-")) {
        uint16_t vc = OID__ValueClassRequired(syntax) ? ValueClassByName(name.substr(7), true) : 0;
        OID_SetAttrCharacteristics_M(0, syntax, 0, vc, 0, &c);
        for (uint32_t op = 0; op <= OID_MAX_OPERATION; op++) OID_SetValidOperation(&c, op);
        OID_SetValidObjectClass(&c, AttributeClass(dotted));
    } else if (StartsWith(name, "id-val-")) {
        auto it = t.vc_by_value.find(Parent(dotted));
        uint16_t vc =
            it != t.vc_by_value.end() ? it->second : ValueClassByName(name.substr(7), false);
        OID_SetValueCharacteristics(vc, 0, &c);
    } else if (StartsWith(name, "id-vc-")) {
        auto it = t.vc_by_value.find(dotted);
        OID_SetValueClassCharacteristics(it != t.vc_by_value.end() ? it->second : 0, &c);
    } else if (StartsWith(name, "id-syn-")) {
        c.octets[0] = '0';
        c.octets[1] = OID_KIND_SYNTAX;
        c.octets[4] = static_cast<uint8_t>(syntax);
    } else if (StartsWith(name, "id-oc-")) {
        auto it = t.oc_by_value.find(dotted);
        c.octets[0] = '0';
        c.octets[1] = OID_KIND_OBJECT_CLASS;
        uint16_t n = it != t.oc_by_value.end() ? it->second : 0;
        c.octets[5] = uint8_t(n >> 8);
        c.octets[6] = uint8_t(n);
    }
    return c;
}

std::string ClassKey(std::string_view name, std::string_view dotted, uint32_t syntax) {
    char key[16];
    if (StartsWith(name, "id-syn-") && syntax < 256) {
        std::snprintf(key, sizeof key, "S%04u", syntax);
        return key;
    }
    if (StartsWith(name, "id-oc-")) {
        auto it = T().oc_by_value.find(dotted);
        if (it == T().oc_by_value.end()) return {};
        std::snprintf(key, sizeof key, "C%03u", unsigned(it->second));
        return key;
    }
    if (StartsWith(name, "id-vc-")) return "VC-" + std::string(name.substr(6));
    return {};
}

uint32_t CreateRegistry(STF_List *st, const char *directory) {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (!directory || !*directory) return Fail(st, OID_S_BADPATH);
    return Guarded(st, [&]() -> uint32_t {
        std::string dir(directory);
        if (dir.back() != '/') dir += '/';
        if (int e = vrcore::system::cfg::MakeDirs(dir, 0777)) {
            STF_ConvertErrno(st, e, directory);
            return Fail(st, OID_S_BADPATH);
        }
        const vrcore::system::seam::Io &io = vrcore::system::seam::CurrentIo();
        const char *files[] = {kMainFile, kDefaultLocaleFile, kLinkFile, kCvrtFile};
        struct stat sb;
        for (const char *f : files)
            if (io.stat((dir + f + ".dbm").c_str(), &sb) == 0) {
                LOG_CondMessage(5, kSrc, __LINE__, "OID: a registry exists in %s\n", directory);
                return Fail(st, OID_S_INVALID);
            }
        int fd = io.open((dir + kLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) {
            STF_ConvertErrno(st, errno, (dir + kLockFile).c_str());
            return Fail(st, OID_S_LOCK);
        }
        io.close(fd);
        for (const char *f : files) {
            VRBM_Db *db = VRBM_open((dir + f).c_str(), VRBM_RDWR | VRBM_CREAT, 0666, 0);
            if (!db) return Fail(st, OID_S_BADPATH);
            uint32_t rc = 0;
            if (std::strcmp(f, kDefaultLocaleFile) == 0)
                rc = VRBM_store(db, kLastIndexKey, int32_t(std::strlen(kLastIndexKey)), "0", 2, 1);
            VRBM_close(db);
            if (rc) {
                Fail(st, rc);
                return Fail(st, OID_S_ADDFAILED);
            }
        }
        if (uint32_t rc = OID_Init(st, directory, OID_READWRITE)) return rc;
        OID_Db *h = nullptr;
        uint32_t rc = OID_OpenDb(st, directory, "C", OID_READWRITE, &h);
        for (uint32_t r = 0; rc == 0 && r < kRowCount; r++) {
            const BuiltinRow &row = kBuiltinRows[r];
            if (!row.binary) continue;
            std::string d = Dotted(row.binary);
            OID_Characteristics c = DeriveChars(row.name, d, row.syntax);
            rc = OID_AddOID(st, h, row.binary, row.name, &c, 0);
            if (rc == OID_S_VALUEEXISTS) {
                // A second name of a value: the name leads to the first
                // one's index.
                STF_ClearStatus(st);
                std::string index;
                {
                    FileUse u(st, h, kMain);
                    if ((rc = u.Status())) break;
                    std::string rec;
                    std::string_view key(reinterpret_cast<const char *>(row.binary),
                                         BinLen(row.binary));
                    if (!FetchCopy(u.Main(), key, rec)) {
                        rc = Fail(st, OID_S_ADDFAILED);
                        break;
                    }
                    index.assign(rec.c_str());
                }
                rc = StoreRecord(st, h, kLocale, row.name,
                                 std::string_view(index.c_str(), index.size() + 1));
            }
            std::string key = ClassKey(row.name, d, row.syntax);
            if (rc == 0 && !key.empty()) {
                std::string rec(reinterpret_cast<const char *>(row.binary), BinLen(row.binary));
                rec.append(reinterpret_cast<const char *>(c.octets), OID_CHARS_LEN);
                rc = StoreRecord(st, h, kMain, key, rec);
            }
            if (rc) LOG_CondMessage(5, kSrc, __LINE__, "OID: cannot register %s\n", row.name);
        }
        if (rc == 0) {
            unsigned char bin[OID_MAX_BINARY];
            uint32_t len = sizeof bin, id = 0;
            rc = OID_ConvertDecToBin(st, kUtf8Dotted, nullptr, &len, bin);
            OID_Characteristics c = DeriveChars(kUtf8Name, kUtf8Dotted, 10);
            if (rc == 0) rc = AddDynamicIdentifier(st, h, bin, kUtf8Name, 10, &c, &id);
        }
        STF_List *sub = STF_CreateList(nullptr);
        if (h && sub) OID_CloseDb(sub, h);
        if (sub) STF_DeleteList(sub);
        OID_Term();
        return rc;
    });
}

} // namespace vrcore::oid
