// The command line and the printers of the registry file.
#include "dpad_config.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vrcore/vrcfg.h"

#ifndef VRDPAD_STATE_DIR
#define VRDPAD_STATE_DIR "/var/lib/vrcore/dpad"
#endif

namespace vrcore::dpad {

namespace {

const char kUsageText[] =
    "usage: vrdpad [--onc-program N [--onc-version N] [--onc-dynamic]]\n"
    "              [--dce-port N [--address A]]\n"
    "              [--users FILE] [--require-auth] [--name-service MODE] [--root DIR]\n"
    "              [--name NAME] [--max-request BYTES] [--max-document BYTES]\n"
    "              [--notify HOST:PORT]... [--reference-root DIR]... [--log DEST]\n"
    "\n"
    "Serves the DPA print requests of clients until SIGTERM or SIGINT: jobs are\n"
    "kept in the job database and spool under the root, and each finished job\n"
    "is printed by its printer's backend.\n"
    "\n"
    "options:\n"
    "  --onc-program N     the ONC RPC program number registered with rpcbind\n"
    "  --onc-version N     its version (default 1)\n"
    "  --onc-dynamic       also register the server by name in the ONC name service\n"
    "                      (this host's vrptsd adds the program to its table)\n"
    "  --dce-port N        serve DCE/RPC on this TCP port (0: one the system chooses),\n"
    "                      registered with this host's endpoint mapper (the registry\n"
    "                      dword \"EndpointMapperPort\" under Software\\Halvane\\Tessaril\\odp\n"
    "                      when it does not listen on 135)\n"
    "  --address A         the IPv4 address DCE/RPC listens on (default: every address)\n"
    "  --users FILE        NTLM users of DCE/RPC callers (default: VRCORE_USERS, else\n"
    "                      the registry string \"UserFile\" under ...\\Tessaril\\odp)\n"
    "  --require-auth      refuse DCE/RPC callers that did not log on as a user, and\n"
    "                      ONC RPC calls without credentials\n"
    "  --name-service MODE where the server, its printers and queues are registered:\n"
    "                      local (default: the local-file store of this host), central\n"
    "                      (the domain's name server) or none\n"
    "  --root DIR          the server's state directory (default " VRDPAD_STATE_DIR ")\n"
    "  --name NAME         the server's name in results and errors (default vrdpad)\n"
    "  --max-request BYTES the largest encoded request taken (default 67108864)\n"
    "  --max-document BYTES the largest document taken (default: no limit)\n"
    "  --notify HOST:PORT  send job and printer state changes there as event\n"
    "                      messages (repeatable; also the registry string\n"
    "                      \"Listeners\" under Software\\Halvane\\Tessaril\\dpad, "
    "comma-separated)\n"
    "  --reference-root DIR documents by file reference are taken only from under\n"
    "                      DIR (repeatable; without it file references are refused)\n"
    "  --log DEST          stderr (default), stdout, syslog or a log file's base path;\n"
    "                      LOG_FILE_PATH and LOG_SEVERITY override it\n"
    "  -h, --help          this text\n"
    "\n"
    "printers: a key per printer under\n"
    "  HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril\\dpad\\Printers\\NAME\n"
    "of the registry file (VRCORE_REGISTRY), with \"Backend\" = \"directory\" (the\n"
    "default; \"Directory\" names where each document is written) or \"command\"\n"
    "(\"Command\" is run with the document on its standard input). Without any,\n"
    "one printer \"default\" writes into ROOT/printed.\n"
    "\n"
    "exit status: 0 stopped by a signal, 1 cannot start, 2 usage error\n";

int UsageError(const char *what, const char *arg) {
    std::fprintf(stderr, "vrdpad: %s: %s\nTry 'vrdpad --help'.\n", what, arg);
    return kExitUsage;
}

bool Number(const char *text, uint32_t min, uint32_t max, uint32_t *out) {
    char *end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text, &end, 0);
    if (!*text || *end || errno || v < min || v > max || text[0] == '-') return false;
    *out = uint32_t(v);
    return true;
}

std::string RegString(const std::string &key, const char *name) {
    char buf[4096];
    long n = VR_RegGetString(key.c_str(), name, nullptr, buf, sizeof buf);
    return n < 0 || size_t(n) >= sizeof buf ? std::string() : std::string(buf, size_t(n));
}

} // namespace

bool SafeFileName(const std::string &name, size_t max) {
    return !name.empty() && name.size() <= max && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

int ParseCommandLine(int argc, char **argv, Config *config) {
    config->root = VRDPAD_STATE_DIR;
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (flag == "-h" || flag == "--help") {
            std::fputs(kUsageText, stdout);
            return kExitOk;
        }
        if (flag == "--require-auth" || flag == "--onc-dynamic") {
            (flag == "--require-auth" ? config->require_auth : config->onc_dynamic) = true;
            continue;
        }
        static const char *const kTaking[] = {
            "--onc-program", "--onc-version", "--dce-port",      "--address",      "--users",
            "--root",        "--name",        "--max-request",   "--max-document", "--name-service",
            "--log",         "--notify",      "--reference-root"};
        if (std::find(std::begin(kTaking), std::end(kTaking), flag) == std::end(kTaking))
            return UsageError("unknown option", argv[i]);
        if (i + 1 == argc) return UsageError("missing value of", argv[i]);
        const char *value = argv[++i];
        if (flag == "--onc-program") {
            if (!Number(value, 1, 0xFFFFFFFFu, &config->onc_program))
                return UsageError("not a program number", value);
        } else if (flag == "--onc-version") {
            if (!Number(value, 1, 0xFFFFFFFFu, &config->onc_version))
                return UsageError("not a version number", value);
        } else if (flag == "--dce-port") {
            uint32_t port = 0;
            if (!Number(value, 0, 65535, &port)) return UsageError("not a port number", value);
            config->dce = true, config->dce_port = uint16_t(port);
        } else if (flag == "--address") {
            in_addr a{};
            if (::inet_pton(AF_INET, value, &a) != 1)
                return UsageError("not an IPv4 address", value);
            config->address = value;
        } else if (flag == "--reference-root") {
            char *real = ::realpath(value, nullptr);
            if (!real) return UsageError("not a directory", value);
            config->reference_roots.push_back(real);
            std::free(real);
        } else if (flag == "--notify") {
            if (!std::strchr(value, ':')) return UsageError("not HOST:PORT", value);
            config->listeners.push_back(value);
        } else if (flag == "--users") {
            config->users = value;
        } else if (flag == "--name-service") {
            if (std::strcmp(value, "local") && std::strcmp(value, "central") &&
                std::strcmp(value, "none"))
                return UsageError("not local, central or none", value);
            config->name_service = value;
        } else if (flag == "--max-document") {
            char *end = nullptr;
            errno = 0;
            unsigned long long v = std::strtoull(value, &end, 0);
            if (!*value || *end || errno || value[0] == '-')
                return UsageError("not a size in bytes", value);
            config->max_document = v;
        } else if (flag == "--max-request") {
            if (!Number(value, 1024, 1u << 30, &config->max_request))
                return UsageError("not a request size (1024 to 1073741824)", value);
        } else if (flag == "--root") {
            if (!*value) return UsageError("an empty directory", "--root");
            config->root = value;
        } else if (flag == "--name") {
            if (!SafeFileName(value, 64)) return UsageError("not a server name", value);
            config->name = value;
        } else {
            config->log = value;
        }
    }
    if (!config->onc_program && !config->dce)
        return UsageError("no transport", "give --onc-program N or --dce-port N");
    return -1;
}

std::string PrinterText(const Printer &printer, const char *name) {
    return RegString(std::string(kPrintersKey) + "\\" + printer.name, name);
}

int SetPrinterText(const Config &config, const Printer &printer, const char *name,
                   const std::string &text) {
    std::string key = std::string(kPrintersKey) + "\\" + printer.name;
    if (printer.backend == BackendKind::kDirectory && printer.directory == config.root + "/printed")
        if (int rc = VR_RegSetString(key.c_str(), "Directory", printer.directory.c_str()))
            return rc;
    if (!text.empty()) return VR_RegSetString(key.c_str(), name, text.c_str());
    int rc = VR_RegDeleteValue(key.c_str(), name);
    return rc == ENOENT ? 0 : rc;
}

bool LoadPrinters(Config *config, std::string *why) {
    config->printers.clear();
    char name[256];
    for (uint32_t i = 0;; ++i) {
        long n = VR_RegEnumKey(kPrintersKey, i, name, sizeof name);
        if (n < 0) break;
        Printer p;
        p.name.assign(name, size_t(n) < sizeof name ? size_t(n) : 0);
        std::string key = std::string(kPrintersKey) + "\\" + p.name;
        if (!SafeFileName(p.name, 64)) {
            *why = "the printer name \"" + p.name + "\" is not usable (at most 64 bytes, no \"/\")";
            return false;
        }
        std::string backend = RegString(key, "Backend");
        if (backend.empty() || strcasecmp(backend.c_str(), "directory") == 0) {
            p.directory = RegString(key, "Directory");
            if (p.directory.empty()) p.directory = config->root + "/printed/" + p.name;
        } else if (strcasecmp(backend.c_str(), "command") == 0) {
            p.backend = BackendKind::kCommand;
            p.command = RegString(key, "Command");
            if (p.command.empty()) {
                *why = "printer " + p.name + ": the command backend needs a \"Command\"";
                return false;
            }
        } else {
            *why = "printer " + p.name + ": unknown backend \"" + backend + "\"";
            return false;
        }
        config->printers.push_back(std::move(p));
    }
    std::string listeners = RegString("Software\\Halvane\\Tessaril\\dpad", "Listeners");
    for (size_t at = 0; at < listeners.size();) {
        size_t comma = listeners.find(',', at);
        std::string l = listeners.substr(at, comma == std::string::npos ? comma : comma - at);
        if (!l.empty()) config->listeners.push_back(l);
        at = comma == std::string::npos ? listeners.size() : comma + 1;
    }
    if (config->printers.empty())
        config->printers.push_back(
            {"default", BackendKind::kDirectory, config->root + "/printed", ""});
    return true;
}

} // namespace vrcore::dpad
