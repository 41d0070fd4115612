// The PTS service's map: object name and type to the program number and
// version registered under it, kept in one file of the service's state
// directory and rewritten whole, atomically, on every change.
//
// The file ("pts.map") is text, one entry a line:
//     <name> <type> <program> <version> <check>
// The name has every byte outside '!'..'~' and every '%' written as %XX
// (two upper-case hex digits), so a line holds no blank of its own; the
// numbers are decimal; <check> is the FNV-1a hash (32 bits, 8 lower-case hex
// digits) of the text before the blank that precedes it. Lines starting with
// '#' are comments. A line that does not parse, fails its check, names an
// empty or over-long name or comes after the limit of entries is refused;
// the lines around it still load.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "nameservice/pts_proto.h"

namespace vrcore::nameservice::pts {

constexpr size_t kMaxEntries = 4096;
constexpr const char *kMapFile = "pts.map";

using MapKey = std::pair<std::string, int32_t>; // name, type
using MapValue = std::pair<int32_t, int32_t>;   // program, version
using Entries = std::map<MapKey, MapValue>;

// Reads the file's text into *out (emptied first); the number of lines refused.
size_t ParseMap(std::string_view text, Entries *out);
std::string FormatMap(const Entries &entries);

class MapFile {
  public:
    // The file in `dir`. Load reads it (a missing file is an empty map) and
    // writes it back; when lines were refused the damaged text is kept
    // beside it as "pts.map.damaged". 0 or the errno value of the failure.
    explicit MapFile(std::string dir);
    int Load(size_t *refused);

    // Status answers of the service (0 or a status of the protocol).
    int32_t Add(const Binding &b);
    int32_t Delete(const ObjectName &o);
    // The entry of o, if any.
    bool Find(const ObjectName &o, MapValue *v) const;
    // Forgets o's entry and rewrites the file; false when that write failed.
    bool Drop(const ObjectName &o);
    size_t Size() const { return entries_.size(); }
    const std::string &Path() const { return path_; }

  private:
    int Save() const;
    std::string dir_, path_;
    Entries entries_;
};

} // namespace vrcore::nameservice::pts
