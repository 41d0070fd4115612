// vrprint: the command-line client of a DPA print server. Shared pieces of
// its sources: the options, the exit codes, the session with the server and
// the output helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <vrcore/as.h>
#include <vrcore/erdpa.h>
#include <vrcore/gen_types.h>
#include <vrcore/stf.h>

namespace vrprint {

// Exit codes, as --help lists them.
enum Exit : int {
    kExitOk = 0,
    kExitRefused = 1,     // the server refused the request or failed it
    kExitUsage = 2,       // the command line is wrong
    kExitUnreachable = 3, // the server cannot be found or reached
    kExitLocal = 4,       // a local failure: a file to print, memory, the library
};

// Short identifiers of the classes and attributes used here.
enum Oid : GENU_ShortOID {
    kOcJob = 87,
    kOcPrinter = 88,
    kAttSocketAddress = 101,
    kAttJobName = 133,
    kAttJobOwner = 134,
    kAttPrinterNameRequested = 244,
    kAttCurrentJobState = 248,
    kAttSubmissionTime = 271,
    kAttTotalJobOctets = 277,
    kAttNumberOfDocuments = 285,
    kAttDocumentName = 320,
    kDocumentPrintable = 442,
    kAttCopyCount = 352,
    kMethodInline = 446,
    kMethodSocket = 447,
    kMethodReference = 449,
    kAttPrinterName = 649,
    kAttPrinterState = 654,
    kAttEnabled = 869,
    kAttJobIdentifier = 1057,
};

struct Options {
    std::string command;
    std::vector<std::string> operands;
    std::string server;             // -s, VRPRINT_SERVER
    std::string printer;            // -p, PRINTER
    bool printer_defaulted = false; // neither given: "default"
    bool onc = false;
    bool json = false;
    bool help = false;
    long copies = 0;                     // -n; 0: not given
    std::vector<std::string> attributes; // -a ATTR=VALUE
    std::string method = "auto";         // --method
    long port = -1;                      // watch --port; -1: the registered port
    long count = 0;                      // watch --count; 0: without end
    long timeout = 0;                    // --timeout seconds; 0: the library's
    long page = 100;                     // --page: objects per part of a listing
};

// The program's status list and what it renders.
class Status {
  public:
    Status();
    ~Status();
    Status(const Status &) = delete;
    Status &operator=(const Status &) = delete;
    operator STF_List *() const { return list_; }
    uint32_t Code() const { return STF_GetStatus(list_); }
    // "vrprint: <what>: " then every entry through the message catalogs.
    void Print(const std::string &what) const;

  private:
    STF_List *list_;
};

// The exit code that a failed library call stands for: unreachable when
// any entry of the list says the server was not found or not reached.
int ExitFor(uint32_t code);
int ExitForList(STF_List *list);
// Prints a DPA error result ("vrprint: <what>: the server refused: ...")
// and frees it.
void PrintDpaError(const std::string &what, ERDPA_ErrorResult *error);
// "vrprint: " and the text on stderr.
void Complain(const std::string &text);

// The library's modules and the binding of this thread to the server the
// options name. Start returns an exit code.
class Session {
  public:
    ~Session();
    int Start(const Options &options, bool bind);

  private:
    int Bind(const Options &options);
    bool messages_ = false, names_ = false, bound_ = false;
};

// ---- Values -----------------------------------------------------------------

// The attribute's name without its "id-att-" prefix, or its number.
std::string AttrName(GENU_ShortOID id);
// A value as text; identifiers lose their "id-val-<kind>-" prefix.
std::string ValueText(uint32_t type, const void *value);
// The whole set as name -> values texts, in the set's order.
struct Field {
    std::string name;
    uint32_t type;
    std::vector<std::string> values;
};
std::vector<Field> SetFields(AS_SetHandle set);
// Adds ATTR=VALUE to the set: the attribute by its name (with or without
// "id-att-"), the value read by the attribute's syntax. False, with a
// message in `error`, when either is unknown or the value does not parse.
bool AddAttribute(AS_SetHandle set, const std::string &assignment, std::string &error);
// Adds one value of a known type (the value's structure) to the set.
bool AddValue(AS_SetHandle set, GENU_ShortOID id, uint32_t type, void *value);
bool MakeSimpleName(GEN_SimpleName &name, const std::string &text);

// ---- Output ------------------------------------------------------------------

std::string JsonString(const std::string &text);
// Rows of fields as a table (the columns given, in order) or as JSON (every
// field of each row; one value as a string, several as an array).
struct Row {
    std::vector<Field> fields;
    // The field of the first of the names ("a|b": a, else b) the row has.
    const Field *Find(const std::string &names) const;
};
void PrintRows(const std::vector<Row> &rows, const std::vector<std::string> &columns,
               const std::vector<std::string> &headings, bool json);

// ---- Commands ------------------------------------------------------------------

int Submit(const Options &options);
int Jobs(const Options &options);
int JobAction(const Options &options); // cancel, hold, release
int Printers(const Options &options);
int PrinterAction(const Options &options); // enable, disable
int Watch(const Options &options);

} // namespace vrprint
