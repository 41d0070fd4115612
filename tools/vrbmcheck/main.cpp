// vrbmcheck: verifies a B-tree database file against the invariants every
// writer keeps, with -d lists every node of the tree, and with --compact
// rewrites it without the pages nothing reaches.
#include "btree/vrbm_internal.h"

#include <cstdio>
#include <cstring>
#include <string>

static const char kUsage[] =
    "usage: %s [-d] [-r] database[.dbm]\n"
    "       %s --compact database[.dbm]\n"
    "  -d  list every node of the tree\n"
    "  -r  repair: roll back an unfinished write-back (a journal beside the\n"
    "      file) before checking; this writes the file\n"
    "A journal left by an unfinished write-back is reported. Without -r the\n"
    "file is checked as it is once rolled back, and nothing is written.\n"
    "Exit status: 0 valid, 1 a fault was found, 2 the file cannot be opened.\n"
    "--compact rewrites the file with only the pages its tree reaches, after\n"
    "rolling back an unfinished write-back; the new file is checked before it\n"
    "replaces the old one, and a crash leaves one or the other. It refuses\n"
    "while a writer has the file open (exit status 3) and leaves a file with\n"
    "a fault alone (1).\n";

int main(int argc, char **argv) {
    bool dump = false, repair = false, compact = false;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; i++) {
        if (std::strcmp(argv[i], "-d") == 0) {
            dump = true;
        } else if (std::strcmp(argv[i], "-r") == 0) {
            repair = true;
        } else if (std::strcmp(argv[i], "--compact") == 0) {
            compact = true;
        } else {
            bool help = std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0;
            std::fprintf(help ? stdout : stderr, kUsage, argv[0], argv[0]);
            return help ? 0 : 2;
        }
    }
    if (i + 1 != argc || (compact && (dump || repair))) {
        std::fprintf(stderr, kUsage, argv[0], argv[0]);
        return 2;
    }
    std::string report;
    int rc = compact ? vrcore::btree::CompactFile(argv[i], &report)
                     : vrcore::btree::CheckFile(argv[i], dump, repair, &report);
    std::fputs(report.c_str(), stdout);
    return rc;
}
