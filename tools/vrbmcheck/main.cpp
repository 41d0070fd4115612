// vrbmcheck: verifies a B-tree database file against the invariants every
// writer keeps, and with -d lists every node of the tree.
//
//   vrbmcheck [-d] database[.dbm]
//
// Exit status: 0 valid, 1 a fault was found, 2 the file cannot be opened.
#include "btree/vrbm_internal.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char **argv) {
    bool dump = false;
    int i = 1;
    if (i < argc && std::strcmp(argv[i], "-d") == 0) {
        dump = true;
        i++;
    }
    if (i + 1 != argc) {
        std::fprintf(stderr, "usage: %s [-d] database[.dbm]\n", argv[0]);
        return 2;
    }
    std::string path = argv[i];
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".dbm") == 0)
        path.resize(path.size() - 4);
    VRBM_Db *db = VRBM_open(path.c_str(), VRBM_RDONLY, 0, 0);
    if (!db) {
        std::fprintf(stderr, "%s.dbm: cannot be opened as a database\n", path.c_str());
        return 2;
    }
    std::string listing;
    unsigned long items = 0;
    std::string fault = vrbm::CheckTree(db, dump ? &listing : nullptr, &items);
    VRBM_close(db);
    std::fputs(listing.c_str(), stdout);
    if (!fault.empty()) {
        std::printf("%s.dbm: %s\n", path.c_str(), fault.c_str());
        return 1;
    }
    std::printf("%s.dbm: valid, %lu items\n", path.c_str(), items);
    return 0;
}
