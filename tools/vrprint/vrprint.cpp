// vrprint: submits documents to a DPA print server and manages its jobs and
// printers from the shell. The command line and the help texts.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>

#include "vrprint.h"

#ifndef VRPRINT_VERSION
#define VRPRINT_VERSION "unknown"
#endif

namespace vrprint {
namespace {

const char kCommon[] =
    "Options of every command:\n"
    "  -s, --server NAME   the print server (default $VRPRINT_SERVER; without one, the\n"
    "                      printer's server as the name service knows it)\n"
    "  -p, --printer NAME  the printer (default $PRINTER, else \"default\")\n"
    "      --onc           use ONC RPC: the server is looked up in the name service's\n"
    "                      ONC environment, or given as HOST:PROGRAM[:VERSION]\n"
    "  -t, --timeout SECS  the time-out of each request\n"
    "  -j, --json          print JSON for scripts instead of tables\n"
    "  -h, --help          this help; -V, --version: the version\n";

const char kExits[] = "Exit codes:\n"
                      "  0  done\n"
                      "  1  the server refused the request or failed it (its reason is printed)\n"
                      "  2  usage: a wrong command, option or argument\n"
                      "  3  the server cannot be found in the name service or reached\n"
                      "  4  a local failure: a file to print cannot be read, memory, the library\n";

struct Command {
    const char *name;
    const char *synopsis;
    const char *text;
    int (*run)(const Options &);
};

const Command kCommands[] = {
    {"submit", "submit [-p PRINTER] [-n COPIES] [-a ATTR=VALUE]... FILE...",
     "Submits the files as one job and prints its identifier; \"-\" is the standard\n"
     "input.\n"
     "  -n, --copies N        print N copies\n"
     "  -a, --attribute A=V   a job attribute by its name (\"job-priority=50\";\n"
     "                        \"job-hold=yes\" holds the job until released)\n"
     "      --method M        how the data travels: inline (in the request),\n"
     "                        socket (a connection of its own), reference (the\n"
     "                        server reads the file; same host only) or auto\n"
     "                        (inline up to 256 KiB, else socket, or inline when\n"
     "                        the server refuses a socket; the default)\n"
     "A transfer of more than 1 MiB shows a progress bar when stderr is a terminal.\n",
     Submit},
    {"jobs", "jobs [--page N] [PRINTER]",
     "Lists the server's jobs, or those of one printer, with who submitted each.\n"
     "  --page N    ask for N jobs at a time (default 100)\n",
     Jobs},
    {"cancel", "cancel JOB", "Cancels the job.\n", JobAction},
    {"hold", "hold JOB", "Holds the job: it is not printed until released.\n", JobAction},
    {"release", "release JOB", "Releases a held job.\n", JobAction},
    {"printers", "printers",
     "Lists the server's printers, their state and whether they accept jobs.\n", Printers},
    {"enable", "enable PRINTER", "Lets the printer accept jobs again.\n", PrinterAction},
    {"disable", "disable PRINTER", "Makes the printer refuse new jobs.\n", PrinterAction},
    {"watch", "watch [--port 0] [--count N]",
     "Prints the event messages of job and printer changes as they arrive, one line\n"
     "each: the time and the message's arguments (JSON: an array of the arguments).\n"
     "The server sends them to the listeners it is configured with (vrdpad --notify).\n"
     "  --port 0    listen on a free port (announced on stderr) instead of the\n"
     "              registered event port\n"
     "  --count N   stop after N messages\n",
     Watch},
};

void Usage(FILE *out) {
    std::fputs("Usage: vrprint [OPTIONS] COMMAND [ARGUMENTS]\n"
               "A client of DPA print servers.\n\nCommands:\n",
               out);
    for (const Command &c : kCommands) std::fprintf(out, "  vrprint %s\n", c.synopsis);
    std::fprintf(out, "\n%s\n%s\n'vrprint COMMAND --help' describes a command.\n", kCommon, kExits);
}

void CommandHelp(const Command &c) {
    std::printf("Usage: vrprint %s\n%s\n%s\n%s", c.synopsis, c.text, kCommon, kExits);
}

bool Number(const char *text, long lo, long &out) {
    char *end = nullptr;
    errno = 0;
    out = std::strtol(text, &end, 10);
    return *text && !*end && errno == 0 && out >= lo && out <= 1000000;
}

int Bad(const std::string &text) {
    std::fprintf(stderr, "vrprint: %s\nTry 'vrprint --help'.\n", text.c_str());
    return kExitUsage;
}

int Run(int argc, char **argv) {
    enum { kOnc = 256, kMethod, kPort, kCount, kPage };
    static const option kLong[] = {
        {"server", required_argument, nullptr, 's'},
        {"printer", required_argument, nullptr, 'p'},
        {"copies", required_argument, nullptr, 'n'},
        {"attribute", required_argument, nullptr, 'a'},
        {"timeout", required_argument, nullptr, 't'},
        {"json", no_argument, nullptr, 'j'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {"onc", no_argument, nullptr, kOnc},
        {"method", required_argument, nullptr, kMethod},
        {"port", required_argument, nullptr, kPort},
        {"count", required_argument, nullptr, kCount},
        {"page", required_argument, nullptr, kPage},
        {nullptr, 0, nullptr, 0},
    };
    Options o;
    if (const char *s = std::getenv("VRPRINT_SERVER")) o.server = s;
    if (const char *p = std::getenv("PRINTER")) o.printer = p;
    bool copies = false, attributes = false, method = false, watch_options = false, page = false;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, "s:p:n:a:t:jhV", kLong, nullptr)) != -1) {
        switch (c) {
        case 's': o.server = optarg; break;
        case 'p': o.printer = optarg; break;
        case 'n':
            if (!Number(optarg, 1, o.copies))
                return Bad("not a number of copies: " + std::string(optarg));
            copies = true;
            break;
        case 'a':
            o.attributes.emplace_back(optarg);
            attributes = true;
            break;
        case 't':
            if (!Number(optarg, 1, o.timeout)) return Bad("not a time-out: " + std::string(optarg));
            break;
        case 'j': o.json = true; break;
        case 'h': o.help = true; break;
        case 'V': std::printf("vrprint %s\n", VRPRINT_VERSION); return kExitOk;
        case kOnc: o.onc = true; break;
        case kMethod:
            o.method = optarg;
            method = true;
            if (o.method != "auto" && o.method != "inline" && o.method != "socket" &&
                o.method != "reference")
                return Bad("not a transfer method: " + o.method);
            break;
        case kPort:
            if (std::strcmp(optarg, "0") != 0) return Bad("--port takes 0 (a free port)");
            o.port = 0;
            watch_options = true;
            break;
        case kPage:
            if (!Number(optarg, 1, o.page)) return Bad("not a page size: " + std::string(optarg));
            page = true;
            break;
        case kCount:
            if (!Number(optarg, 1, o.count)) return Bad("not a count: " + std::string(optarg));
            watch_options = true;
            break;
        default:
            if (optopt && std::strchr("spnat", optopt))
                return Bad(std::string("option -") + static_cast<char>(optopt) +
                           " needs an argument");
            return Bad("unknown option: " + std::string(argv[optind - 1]));
        }
    }
    if (optind < argc) o.command = argv[optind++];
    while (optind < argc) o.operands.emplace_back(argv[optind++]);
    if (o.command.empty()) {
        if (o.help) {
            Usage(stdout);
            return kExitOk;
        }
        Usage(stderr);
        return kExitUsage;
    }
    const Command *cmd = nullptr;
    for (const Command &k : kCommands)
        if (o.command == k.name) cmd = &k;
    if (!cmd) return Bad("unknown command: " + o.command);
    if (o.help) {
        CommandHelp(*cmd);
        return kExitOk;
    }
    bool submit = o.command == "submit";
    if ((copies || attributes || method) && !submit)
        return Bad("-n, -a and --method belong to submit");
    if (watch_options && o.command != "watch") return Bad("--port and --count belong to watch");
    if (page && o.command != "jobs" && o.command != "printers")
        return Bad("--page belongs to jobs and printers");
    if ((o.command == "jobs" && o.operands.size() > 1) ||
        ((o.command == "printers" || o.command == "watch") && !o.operands.empty()))
        return Bad(o.command + ": unexpected argument: " + o.operands.back());
    if (o.printer.empty()) o.printer = "default", o.printer_defaulted = true;
    return cmd->run(o);
}

} // namespace
} // namespace vrprint

int main(int argc, char **argv) { return vrprint::Run(argc, argv); }
