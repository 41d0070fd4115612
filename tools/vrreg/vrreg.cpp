// vrreg: reads and writes values of the registry file.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <string_view>
#include <vector>

#include "system/config.h"

using namespace vrcore::system::cfg;

namespace {

enum Exit { kOk = 0, kNotFound = 1, kUsage = 2, kFailed = 3 };

const char kUsageText[] =
    "usage: vrreg [--file PATH] COMMAND [ARGS]\n"
    "\n"
    "Reads and writes the vrcore registry file.\n"
    "\n"
    "commands:\n"
    "  get [--expanded] KEY NAME   print a value; --expanded expands the\n"
    "                              %NAME% references of an expandable string\n"
    "  set [--dword | --expand] KEY NAME VALUE\n"
    "                              store a string (default), a 32-bit number\n"
    "                              (decimal or 0x hex) or an expandable string\n"
    "  delete KEY [NAME]           delete a value, or without NAME the key\n"
    "                              with its values and subkeys\n"
    "  list [KEY]                  without KEY the keys, one a line; with KEY\n"
    "                              its values in registry-file syntax\n"
    "\n"
    "KEY is a path such as 'Software\\Halvane\\Tessaril\\pgr' ('/' may replace\n"
    "'\\'); keys without a hive are under HKEY_LOCAL_MACHINE. NAME '' is the\n"
    "key's default value.\n"
    "\n"
    "options:\n"
    "  --file PATH   the registry file (default: $VRCORE_REGISTRY, else\n"
    "                $TS_ROOT/etc/vrcore/registry.reg)\n"
    "  -h, --help    this text\n"
    "\n"
    "exit status: 0 done, 1 no such key or value, 2 usage error, 3 failure\n";

int UsageError(const char *fmt, const char *arg = "") {
    std::fprintf(stderr, "vrreg: ");
    std::fprintf(stderr, fmt, arg);
    std::fprintf(stderr, "\nTry 'vrreg --help'.\n");
    return kUsage;
}

bool ParseDword(const char *s, uint32_t &out) {
    if (!*s || *s == '-' || *s == '+' || *s == ' ') return false;
    errno = 0;
    char *end = nullptr;
    unsigned long long v = std::strtoull(s, &end, 0);
    if (errno || *end || v > 0xFFFFFFFFull) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

const char *TypeName(RegType t) {
    switch (t) {
    case RegType::String: return "string";
    case RegType::ExpandString: return "expandable string";
    case RegType::Dword: return "32-bit number";
    default: return "other";
    }
}

int Load(const Registry &reg, RegDocument &doc) {
    int rc = reg.Load(doc);
    if (rc == ENOENT) return kNotFound;
    if (rc != 0) {
        std::fprintf(stderr, "vrreg: cannot read %s: %s\n", reg.Path().c_str(), std::strerror(rc));
        return kFailed;
    }
    if (doc.Malformed())
        std::fprintf(stderr, "vrreg: %s: %zu malformed line(s) skipped\n", reg.Path().c_str(),
                     doc.Malformed());
    return kOk;
}

int WriteResult(const Registry &reg, int rc, const char *what) {
    if (rc == 0) return kOk;
    if (rc == ENOENT) {
        std::fprintf(stderr, "vrreg: no such %s\n", what);
        return kNotFound;
    }
    if (rc == EINVAL) {
        std::fprintf(stderr,
                     "vrreg: invalid key, name or value (control characters, or ']' in a key)\n");
        return kUsage;
    }
    std::fprintf(stderr, "vrreg: cannot write %s: %s\n", reg.Path().c_str(), std::strerror(rc));
    return kFailed;
}

int CmdGet(const Registry &reg, std::vector<const char *> args) {
    bool expanded = false;
    if (!args.empty() && std::strcmp(args[0], "--expanded") == 0) {
        expanded = true;
        args.erase(args.begin());
    }
    if (args.size() != 2) return UsageError("get needs KEY and NAME");
    RegDocument doc;
    int rc = Load(reg, doc);
    if (rc == kNotFound) {
        std::fprintf(stderr, "vrreg: %s does not exist\n", reg.Path().c_str());
        return rc;
    }
    if (rc != kOk) return rc;
    const RegValue *v = doc.Find(args[0], args[1]);
    if (!v) {
        std::fprintf(stderr, "vrreg: no value '%s' under %s\n", args[1],
                     NormalizeKey(args[0]).c_str());
        return kNotFound;
    }
    switch (v->type) {
    case RegType::Dword: std::printf("%u\n", v->dword); break;
    case RegType::ExpandString:
        std::printf("%s\n", expanded ? ExpandEnv(v->text).c_str() : v->text.c_str());
        break;
    case RegType::String: std::printf("%s\n", v->text.c_str()); break;
    default:
        std::fprintf(stderr, "vrreg: value '%s' is of type %s: %s\n", args[1], TypeName(v->type),
                     v->text.c_str());
        return kFailed;
    }
    return kOk;
}

int CmdSet(const Registry &reg, std::vector<const char *> args) {
    enum { Text, Dword, Expand } kind = Text;
    while (!args.empty() && args[0][0] == '-' && args[0][1] == '-') {
        if (std::strcmp(args[0], "--dword") == 0 && kind == Text)
            kind = Dword;
        else if (std::strcmp(args[0], "--expand") == 0 && kind == Text)
            kind = Expand;
        else if (std::strcmp(args[0], "--") == 0) {
            args.erase(args.begin());
            break;
        } else
            return UsageError("set: unexpected option '%s' (one of --dword, --expand)", args[0]);
        args.erase(args.begin());
    }
    if (args.size() != 3) return UsageError("set needs KEY, NAME and VALUE");
    if (kind == Dword) {
        uint32_t v;
        if (!ParseDword(args[2], v)) return UsageError("not a 32-bit number: '%s'", args[2]);
        return WriteResult(reg, reg.SetDword(args[0], args[1], v), "value");
    }
    return WriteResult(reg, reg.SetString(args[0], args[1], args[2], kind == Expand), "value");
}

int CmdDelete(const Registry &reg, const std::vector<const char *> &args) {
    if (args.size() == 2) return WriteResult(reg, reg.DeleteValue(args[0], args[1]), "value");
    if (args.size() == 1) return WriteResult(reg, reg.DeleteKey(args[0]), "key");
    return UsageError("delete needs KEY and optionally NAME");
}

int CmdList(const Registry &reg, const std::vector<const char *> &args) {
    if (args.size() > 1) return UsageError("list takes at most one KEY");
    RegDocument doc;
    int rc = Load(reg, doc);
    if (rc == kNotFound && args.empty()) return kOk; // no file: no keys
    if (rc == kNotFound) {
        std::fprintf(stderr, "vrreg: %s does not exist\n", reg.Path().c_str());
        return rc;
    }
    if (rc != kOk) return rc;
    if (args.empty()) {
        for (const auto &k : doc.Keys()) std::puts(k.c_str());
        return kOk;
    }
    std::string key = NormalizeKey(args[0]);
    auto keys = doc.Keys();
    bool present = std::any_of(keys.begin(), keys.end(), [&](const std::string &k) {
        return strcasecmp(k.c_str(), key.c_str()) == 0;
    });
    if (!present) {
        std::fprintf(stderr, "vrreg: no key %s\n", key.empty() ? args[0] : key.c_str());
        return kNotFound;
    }
    for (const auto &v : doc.Values(args[0])) std::puts(FormatValue(v).c_str());
    return kOk;
}

} // namespace

int main(int argc, char **argv) {
    try {
        std::string file;
        bool file_given = false;
        int i = 1;
        for (; i < argc && argv[i][0] == '-'; ++i) {
            std::string_view a = argv[i];
            if (a == "-h" || a == "--help") {
                std::fputs(kUsageText, stdout);
                return kOk;
            }
            if (a == "--file") {
                if (++i >= argc) return UsageError("--file needs a PATH");
                file = argv[i];
                file_given = true;
            } else if (a.starts_with("--file=")) {
                file = std::string(a.substr(7));
                file_given = true;
            } else {
                return UsageError("unknown option '%s'", argv[i]);
            }
        }
        if (i >= argc) return UsageError("missing command");
        if (file_given && file.empty()) return UsageError("--file needs a PATH");
        Registry reg(file.empty() ? RegistryPath() : file);
        std::string_view cmd = argv[i];
        std::vector<const char *> args(argv + i + 1, argv + argc);
        if (cmd == "get") return CmdGet(reg, args);
        if (cmd == "set") return CmdSet(reg, args);
        if (cmd == "delete") return CmdDelete(reg, args);
        if (cmd == "list") return CmdList(reg, args);
        if (cmd == "help") {
            std::fputs(kUsageText, stdout);
            return kOk;
        }
        return UsageError("unknown command '%s'", argv[i]);
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "vrreg: out of memory\n");
        return kFailed;
    }
}
