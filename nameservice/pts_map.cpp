// The PTS service's map and its file.
#include "nameservice/pts_map.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>

#include "system/fileio.h"
#include "system/seam.h"

namespace vrcore::nameservice::pts {

namespace {

namespace fileio = system::fileio;

// The largest file read: every entry at its longest name, escaped, with room.
constexpr size_t kMaxFileBytes = kMaxEntries * (3 * kMaxName + 64);

uint32_t Fnv1a(std::string_view s) {
    uint32_t h = 2166136261u;
    for (unsigned char c : s) h = (h ^ c) * 16777619u;
    return h;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Unescape(std::string_view in, std::string *out) {
    out->clear();
    for (size_t i = 0; i < in.size(); ++i) {
        char c = in[i];
        if (c != '%') {
            out->push_back(c);
            continue;
        }
        if (i + 2 >= in.size()) return false;
        int hi = HexDigit(in[i + 1]), lo = HexDigit(in[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out->push_back(char(hi * 16 + lo));
        i += 2;
    }
    return true;
}

bool Int(std::string_view s, int32_t *v) {
    if (s.empty() || s.size() > 11) return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *v);
    return ec == std::errc() && end == s.data() + s.size();
}

// One line; false when it is refused.
bool ParseLine(std::string_view line, MapKey *key, MapValue *value) {
    size_t last = line.rfind(' ');
    if (last == std::string_view::npos || line.size() - last - 1 != 8) return false;
    uint32_t check = 0;
    std::string_view hex = line.substr(last + 1);
    auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), check, 16);
    if (ec != std::errc() || end != hex.data() + hex.size() || Fnv1a(line.substr(0, last)) != check)
        return false;
    std::string_view f[4];
    std::string_view rest = line.substr(0, last);
    for (int i = 0; i < 4; ++i) {
        size_t sp = i < 3 ? rest.find(' ') : rest.size();
        if (sp == std::string_view::npos) return false;
        f[i] = rest.substr(0, sp);
        rest.remove_prefix(std::min(rest.size(), sp + 1));
    }
    if (!Unescape(f[0], &key->first) || key->first.empty() || key->first.size() > kMaxName ||
        key->first.find('\0') != std::string::npos)
        return false;
    return Int(f[1], &key->second) && Int(f[2], &value->first) && Int(f[3], &value->second);
}

MapKey KeyOf(const ObjectName &o) { return {std::string(o.name), o.type}; }

} // namespace

size_t ParseMap(std::string_view text, Entries *out) {
    out->clear();
    size_t refused = 0;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        // A last line without its end is a cut write: refused.
        bool whole = nl != std::string_view::npos;
        std::string_view line = text.substr(0, whole ? nl : text.size());
        text.remove_prefix(whole ? nl + 1 : text.size());
        if (line.empty() || line.front() == '#') continue;
        MapKey key;
        MapValue value;
        if (!whole || !ParseLine(line, &key, &value) ||
            (out->size() >= kMaxEntries && !out->count(key))) {
            ++refused;
            continue;
        }
        (*out)[std::move(key)] = value;
    }
    return refused;
}

std::string FormatMap(const Entries &entries) {
    std::string text = "# PTS map: name type program version check\n";
    for (const auto &[key, value] : entries) {
        std::string line;
        for (unsigned char c : key.first) {
            if (c > ' ' && c < 0x7f && c != '%') {
                line.push_back(char(c));
            } else {
                char esc[4];
                std::snprintf(esc, sizeof esc, "%%%02X", c);
                line += esc;
            }
        }
        line += ' ' + std::to_string(key.second) + ' ' + std::to_string(value.first) + ' ' +
                std::to_string(value.second);
        char check[10];
        std::snprintf(check, sizeof check, " %08x", Fnv1a(line));
        text += line + check + '\n';
    }
    return text;
}

MapFile::MapFile(std::string dir) : dir_(std::move(dir)), path_(dir_ + "/" + kMapFile) {}

int MapFile::Load(size_t *refused) {
    const system::seam::Io &io = system::seam::CurrentIo();
    std::string text;
    int fd = io.open(path_.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd >= 0) {
        // A file beyond the largest one written is cut at that size: its
        // tail is refused, its head still loads.
        int rc = fileio::ReadAll(fd, text, kMaxFileBytes);
        io.close(fd);
        if (rc && rc != EFBIG) return rc;
    } else if (errno != ENOENT) {
        return errno;
    }
    *refused = ParseMap(text, &entries_);
    if (*refused) {
        fileio::Result r = fileio::ReplaceFile(path_ + ".damaged", text, fileio::NewFile{0600});
        if (r.err) return r.err;
    }
    return Save();
}

int MapFile::Save() const {
    fileio::Result r =
        fileio::ReplaceFile(path_, FormatMap(entries_), fileio::NewFile{0644}, path_ + ".tmp");
    return r.err;
}

int32_t MapFile::Add(const Binding &b) {
    if (!b.object.name[0]) return kBadName;
    MapKey key = KeyOf(b.object);
    auto it = entries_.find(key);
    if (it == entries_.end() && entries_.size() >= kMaxEntries) return kFull;
    bool had = it != entries_.end();
    MapValue old = had ? it->second : MapValue{};
    entries_[key] = {b.program, b.version};
    if (Save() != 0) {
        if (had)
            entries_[key] = old;
        else
            entries_.erase(key);
        return kStoreFailed;
    }
    return 0;
}

int32_t MapFile::Delete(const ObjectName &o) {
    auto it = entries_.find(KeyOf(o));
    if (it == entries_.end()) return kNotFound;
    MapValue old = it->second;
    entries_.erase(it);
    if (Save() != 0) {
        entries_[KeyOf(o)] = old;
        return kStoreFailed;
    }
    return 0;
}

bool MapFile::Find(const ObjectName &o, MapValue *v) const {
    auto it = entries_.find(KeyOf(o));
    if (it == entries_.end()) return false;
    *v = it->second;
    return true;
}

bool MapFile::Drop(const ObjectName &o) {
    entries_.erase(KeyOf(o));
    return Save() == 0;
}

} // namespace vrcore::nameservice::pts
