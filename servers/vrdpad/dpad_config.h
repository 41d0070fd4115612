// vrdpad's configuration: the command line and the printers of the
// registry file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vrcore::dpad {

// How a printer prints a finished job.
enum class BackendKind { kDirectory, kCommand };

struct Printer {
    std::string name;
    BackendKind backend = BackendKind::kDirectory;
    std::string directory; // kDirectory: where each document is written
    std::string command;   // kCommand: run with the document on its standard input
};

struct Config {
    std::string root;                   // state: the job database and the spool
    std::string name = "vrdpad";        // the server's name
    std::string log = "stderr";         // the log's destination
    uint32_t onc_program = 0;           // 0: no ONC RPC service
    uint32_t onc_version = 1;           //
    bool onc_dynamic = false;           // registered by name in the ONC name service
    uint32_t max_request = 64u << 20;   // bytes of one encoded request
    uint64_t max_document = 0;          // bytes of one document; 0: no limit
    bool dce = false;                   // serve DCE/RPC
    uint16_t dce_port = 0;              // 0: one the system chooses
    std::string address;                // DCE/RPC: the address listened on; "": every one
    std::string users;                  // NTLM users ("": the library's default)
    bool require_auth = false;          // refuse callers that did not log on
    std::string name_service = "local"; // local (a store on this host), central or none
    std::vector<Printer> printers;
    std::vector<std::string> listeners;       // "host:port" of each event listener
    std::vector<std::string> reference_roots; // file references must lie under one of them
};

// The registry key under which each printer has a key of its own.
constexpr const char *kPrintersKey = "Software\\Halvane\\Tessaril\\dpad\\Printers";

// Exit codes of the program.
constexpr int kExitOk = 0, kExitStart = 1, kExitUsage = 2;

// Reads the command line into *config. Returns -1 to go on, else the exit
// code (help printed, or a usage error reported on stderr).
int ParseCommandLine(int argc, char **argv, Config *config);

// Reads the printers from the registry file; without any, one printer
// "default" writing into <root>/printed. False (with *why) for a printer
// whose settings are unusable.
bool LoadPrinters(Config *config, std::string *why);

// A text about the printer that clients set (its description, message,
// location...), kept as the value `name` of its registry key; "" when
// unset.
std::string PrinterText(const Printer &printer, const char *name);
// Keeps it ("" removes it): 0 or an errno value. The built-in printer gets
// a key of its own, naming the directory it prints into.
int SetPrinterText(const Config &config, const Printer &printer, const char *name,
                   const std::string &text);

// A name that may stand as one file name in a directory of ours: not
// empty, no "/" or NUL, not "." or "..", at most `max` bytes.
bool SafeFileName(const std::string &name, size_t max = 200);

} // namespace vrcore::dpad
