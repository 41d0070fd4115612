// The rows of the built-in identifier table's data file.
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vrtest {

struct OidRow {
    uint32_t id;
    std::string name, dotted; // dotted "-" when the row has no value
    uint32_t syntax;
};

inline std::vector<OidRow> BuiltinOidRows() {
    std::ifstream in(std::string(VRCORE_SOURCE_DIR) + "/oid/builtin_oids.txt");
    std::vector<OidRow> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ls(line);
        OidRow r;
        ls >> r.id >> r.name >> r.dotted >> r.syntax;
        rows.push_back(r);
    }
    return rows;
}

} // namespace vrtest
