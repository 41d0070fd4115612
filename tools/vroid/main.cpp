// vroid: the object identifier registry from the command line.
//
//   vroid create DIR                        make a complete registry in DIR
//   vroid lookup DIR NAME|ABBREVIATION|DOTTED
//   vroid add DIR NAME DOTTED SYNTAX        register a new identifier
//
// SYNTAX is a syntax code (0 to 127) or a syntax name ("text" or
// "id-syn-text"). Exit status: 0 done, 1 failed or not found, 2 usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "oid/registry_internal.h"
#include "oid/shortoid_internal.h"
#include "vrcore/genu.h"

namespace {

struct List {
    STF_List *l = STF_CreateList(nullptr);
    ~List() { STF_DeleteList(l); }
};

int Report(const char *what, STF_List *st, uint32_t rc) {
    std::fprintf(stderr, "vroid: %s failed (status 0x%08x)", what, rc);
    char text[512];
    uint32_t need = 0;
    if (STF_GetMessage(st, 1, 0, nullptr, sizeof text, &need, text) == 0)
        std::fprintf(stderr, ": %s", text);
    std::fputc('\n', stderr);
    return 1;
}

std::string Dotted(const unsigned char *binary, const OID_Characteristics *chars) {
    List st;
    char text[OID_MAX_DOTTED];
    uint32_t len = sizeof text;
    if (OID_ConvertBinToDec(st.l, binary, chars, &len, text) != 0) return "?";
    return text;
}

const char *Kind(const OID_Characteristics &c) {
    switch (c.octets[1]) {
    case OID_KIND_ATTRIBUTE: return "attribute";
    case OID_KIND_VALUE: return "value";
    case OID_KIND_VALUE_CLASS: return "value class";
    case OID_KIND_OBJECT_CLASS: return "object class";
    default:
        if (c.octets[1] >= OID_KIND_SYNTAX && c.octets[1] <= OID_KIND_SYNTAX + 15) return "syntax";
        return c.octets[0] ? "other" : "none";
    }
}

void Print(const char *name, const unsigned char *binary, const OID_Characteristics &c) {
    List st;
    GENU_ShortOID id = 0;
    std::printf("name:            %s\n", name);
    std::printf("value:           %s\n", Dotted(binary, nullptr).c_str());
    if (GENU_BinaryToShortOID(st.l, binary, &id) == 0)
        std::printf("short id:        %u%s\n", id,
                    id >= vrcore::oid::kDynamicBase ? " (dynamic)" : "");
    std::printf("kind:            %s\n", Kind(c));
    // The characteristics are the parts that follow the value's own.
    std::string value = Dotted(binary, nullptr), with = Dotted(binary, &c);
    if (!value.empty() && with.size() > value.size() && with.compare(0, value.size(), value) == 0)
        std::printf("characteristics: %s\n", with.c_str() + value.size() + 1);
    else
        std::printf("characteristics: (unreadable)\n");
    if (c.octets[1] == OID_KIND_ATTRIBUTE || c.octets[1] == OID_KIND_VALUE)
        std::printf("syntax code:     %u\n", c.octets[4]);
    if (c.octets[1] == OID_KIND_ATTRIBUTE) {
        std::printf("object classes: ");
        if (OID_ValidForObject(&c, 0))
            std::printf(" all");
        else
            for (uint32_t k = 1; k <= OID_MAX_OBJECT_CLASS; k++)
                if (OID_ValidForObject(&c, k)) std::printf(" %u", k);
        std::printf("\n");
    }
}

int Create(const char *dir) {
    List st;
    std::string main = std::string(dir) + "/" + vrcore::oid::kMainFile + ".dbm";
    if (FILE *f = std::fopen(main.c_str(), "rb")) {
        std::fclose(f);
        std::fprintf(stderr, "vroid: %s already holds a registry\n", dir);
        return 1;
    }
    uint32_t rc = vrcore::oid::CreateRegistry(st.l, dir);
    if (rc) return Report("create", st.l, rc);
    std::printf("registry created in %s\n", dir);
    return 0;
}

int Lookup(const char *dir, const char *what) {
    List st;
    uint32_t rc = OID_Init(st.l, dir, OID_READONLY);
    if (rc) return Report("opening the registry", st.l, rc);
    OID_Db *h = nullptr;
    rc = OID_OpenDb(st.l, dir, nullptr, OID_READONLY, &h);
    int result = 1;
    if (rc) {
        Report("opening the registry", st.l, rc);
    } else {
        unsigned char bin[OID_MAX_BINFORM];
        uint32_t len = sizeof bin;
        char name[OID_MAX_NAME + 1];
        OID_Characteristics c{};
        if (OID_ConvertDecToBin(st.l, what, nullptr, &len, bin) == 0) {
            rc = OID_LookupBinary(st.l, h, bin, name, &c);
        } else {
            rc = OID_LookupName(st.l, h, what, bin, &c);
            if (rc == OID_S_NOTFOUND) {
                VRBM_MatchNode *cand = nullptr;
                rc = OID_LookupAbbrev_N(st.l, h, what, bin, &c, &cand, 1);
                if (rc == OID_S_AMBIGUOUS) {
                    std::fprintf(stderr, "vroid: %s is ambiguous:\n", what);
                    for (VRBM_MatchNode *m = cand; m; m = m->next)
                        std::fprintf(stderr, "  %s\n", m->name);
                } else if (rc == 0 && cand) {
                    std::snprintf(name, sizeof name, "%s", cand->name);
                }
                VRBM_freeMatchList(cand);
            } else if (rc == 0) {
                std::snprintf(name, sizeof name, "%s", what);
            }
        }
        if (rc == 0) {
            Print(name, bin, c);
            result = 0;
        } else if (rc != OID_S_AMBIGUOUS) {
            Report("lookup", st.l, rc);
        }
        OID_CloseDb(st.l, h);
    }
    OID_Term();
    return result;
}

bool ParseSyntax(const char *text, uint32_t *out) {
    char *end = nullptr;
    unsigned long v = std::strtoul(text, &end, 10);
    if (*text >= '0' && *text <= '9' && end && *end == '\0') {
        if (v > 127) return false;
        *out = uint32_t(v);
        return true;
    }
    std::string name = std::strncmp(text, "id-syn-", 7) == 0 ? text : std::string("id-syn-") + text;
    const vrcore::oid::IndexEntry *e = vrcore::oid::FindByName(name.c_str());
    if (!e) return false;
    *out = e->row->syntax;
    return true;
}

int Add(const char *dir, const char *name, const char *dotted, const char *syntax_text) {
    List st;
    uint32_t syntax = 0;
    if (!ParseSyntax(syntax_text, &syntax)) {
        std::fprintf(stderr, "vroid: %s is no syntax code or syntax name\n", syntax_text);
        return 2;
    }
    unsigned char bin[OID_MAX_BINARY];
    uint32_t len = sizeof bin;
    if (OID_ConvertDecToBin(st.l, dotted, nullptr, &len, bin) != 0) {
        std::fprintf(stderr, "vroid: %s is not a dotted-decimal identifier (at most %d octets)\n",
                     dotted, OID_MAX_BINARY);
        return 2;
    }
    uint32_t rc = OID_Init(st.l, dir, OID_READWRITE);
    if (rc) return Report("opening the registry", st.l, rc);
    OID_Db *h = nullptr;
    rc = OID_OpenDb(st.l, dir, "C", OID_READWRITE, &h);
    uint32_t id = 0;
    if (rc == 0) {
        OID_Characteristics c = vrcore::oid::DeriveChars(name, dotted, syntax);
        rc = vrcore::oid::AddDynamicIdentifier(st.l, h, bin, name, syntax, &c, &id);
    }
    int result = rc ? Report("add", st.l, rc) : 0;
    if (rc == 0) std::printf("%s %s registered as short identifier %u\n", name, dotted, id);
    if (h) {
        List sub;
        OID_CloseDb(sub.l, h);
    }
    OID_Term();
    return result;
}

int Usage() {
    std::fprintf(stderr, "usage: vroid create DIR\n"
                         "       vroid lookup DIR NAME|ABBREVIATION|DOTTED\n"
                         "       vroid add DIR NAME DOTTED SYNTAX\n");
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) return Usage();
    std::string cmd = argv[1];
    if (cmd == "create" && argc == 3) return Create(argv[2]);
    if (cmd == "lookup" && argc == 4) return Lookup(argv[2], argv[3]);
    if (cmd == "add" && argc == 6) return Add(argv[2], argv[3], argv[4], argv[5]);
    return Usage();
}
