// vrbmcheck: verifies a B-tree database file against the invariants every
// writer keeps, and with -d lists every node of the tree.
#include "btree/vrbm_internal.h"

#include <cstdio>
#include <cstring>
#include <string>

static const char kUsage[] =
    "usage: %s [-d] [-r] database[.dbm]\n"
    "  -d  list every node of the tree\n"
    "  -r  repair: roll back an unfinished write-back (a journal beside the\n"
    "      file) before checking; this writes the file\n"
    "A journal left by an unfinished write-back is reported. Without -r the\n"
    "file is checked as it is once rolled back, and nothing is written.\n"
    "Exit status: 0 valid, 1 a fault was found, 2 the file cannot be opened.\n";

int main(int argc, char **argv) {
    bool dump = false, repair = false;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; i++) {
        if (std::strcmp(argv[i], "-d") == 0) {
            dump = true;
        } else if (std::strcmp(argv[i], "-r") == 0) {
            repair = true;
        } else {
            bool help = std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0;
            std::fprintf(help ? stdout : stderr, kUsage, argv[0]);
            return help ? 0 : 2;
        }
    }
    if (i + 1 != argc) {
        std::fprintf(stderr, kUsage, argv[0]);
        return 2;
    }
    std::string report;
    int rc = vrcore::btree::CheckFile(argv[i], dump, repair, &report);
    std::fputs(report.c_str(), stdout);
    return rc;
}
