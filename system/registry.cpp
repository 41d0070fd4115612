// The registry file: parsing, lookups, and atomic locked rewrites.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "system/config.h"
#include "system/fileio.h"
#include "system/trace.h"

namespace vrcore::system::cfg {
namespace {

constexpr off_t kMaxFileSize = 64L << 20;

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool Iequal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

bool Istarts(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && Iequal(s.substr(0, prefix.size()), prefix);
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

bool HasControl(std::string_view s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return IsControl(static_cast<unsigned char>(c)); });
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (Fold(c) >= 'a' && Fold(c) <= 'f'); }

std::string_view Trim(std::string_view s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// The key's hive abbreviations.
std::string_view FullHive(std::string_view c) {
    static const struct {
        const char *abbr, *full;
    } hives[] = {{"HKLM", "HKEY_LOCAL_MACHINE"},
                 {"HKCU", "HKEY_CURRENT_USER"},
                 {"HKCR", "HKEY_CLASSES_ROOT"},
                 {"HKU", "HKEY_USERS"},
                 {"HKCC", "HKEY_CURRENT_CONFIG"}};
    for (const auto &h : hives)
        if (Iequal(c, h.abbr)) return h.full;
    return c;
}

bool KeyUnder(std::string_view key, std::string_view top) {
    return Iequal(key, top) || (key.size() > top.size() && key[top.size()] == '\\' &&
                                Iequal(key.substr(0, top.size()), top));
}

// A quoted text at s[pos] (which is '"'): only \\ and \" are escapes.
bool ParseQuoted(std::string_view s, size_t &pos, std::string &out) {
    out.clear();
    ++pos;
    while (pos < s.size()) {
        char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) {
            out += s[pos + 1];
            pos += 2;
            continue;
        }
        out += c;
        ++pos;
    }
    return false;
}

void AppendQuoted(std::string &out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

// Binary data as written by export tools: hex(N): or hex: then byte pairs
// separated by commas, possibly continued over lines ending in "\".
bool ValidHexData(std::string_view d) {
    size_t p = 3;
    if (p < d.size() && d[p] == '(') {
        size_t close = d.find(')', p);
        if (close == std::string_view::npos || close == p + 1) return false;
        for (size_t i = p + 1; i < close; ++i)
            if (!IsHex(d[i])) return false;
        p = close + 1;
    }
    if (p >= d.size() || d[p] != ':') return false;
    for (++p; p < d.size(); ++p) {
        char c = d[p];
        if (!IsHex(c) && c != ',' && c != ' ' && c != '\t' && c != '\\' && c != '\r' && c != '\n')
            return false;
    }
    return true;
}

// Splits a value line into its name and the data after "=".
bool SplitValue(std::string_view s, std::string &name, std::string_view &data) {
    size_t pos = 0;
    name.clear();
    if (s[0] == '@') {
        pos = 1;
    } else if (!ParseQuoted(s, pos, name)) {
        return false;
    }
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
    if (pos >= s.size() || s[pos] != '=') return false;
    data = Trim(s.substr(pos + 1));
    return true;
}

bool IsBinaryValue(std::string_view s) {
    std::string name;
    std::string_view d;
    return SplitValue(s, name, d) && Istarts(d, "hex");
}

// One value line (continuations joined with "\n").
bool ParseValue(std::string_view s, RegValue &v) {
    v = RegValue{};
    std::string_view d;
    if (!SplitValue(s, v.name, d)) return false;
    if (d.empty()) return false;
    if (Istarts(d, "hex")) {
        if (!ValidHexData(d)) return false;
        v.type = RegType::Other;
        v.text = std::string(d);
        return true;
    }
    if (Istarts(d, "dword:")) {
        std::string_view digits = d.substr(6);
        if (digits.empty() || digits.size() > 8 ||
            !std::all_of(digits.begin(), digits.end(), IsHex))
            return false;
        v.type = RegType::Dword;
        v.dword = static_cast<uint32_t>(std::strtoul(std::string(digits).c_str(), nullptr, 16));
        return true;
    }
    RegType type = RegType::String;
    size_t q = 0;
    if (Istarts(d, "str(")) {
        size_t close = d.find(')');
        if (close == std::string_view::npos || close == 4 || close + 1 >= d.size() ||
            d[close + 1] != ':')
            return false;
        std::string_view n = d.substr(4, close - 4);
        if (!std::all_of(n.begin(), n.end(), IsHex)) return false;
        type = n == "1" ? RegType::String : n == "2" ? RegType::ExpandString : RegType::Other;
        q = close + 2;
    }
    if (q >= d.size() || d[q] != '"') return false;
    std::string text;
    if (!ParseQuoted(d, q, text) || q != d.size()) return false;
    v.type = type;
    v.text = type == RegType::Other ? std::string(d) : std::move(text);
    return true;
}

// "[key]", optionally followed by a number (the modification time some
// writers append). "[-key]" asks an importer to delete: not a stored key.
bool ParseSection(std::string_view s, std::string &key) {
    size_t close = s.find(']');
    if (close == std::string_view::npos || s.size() < 2 || s[1] == '-') return false;
    std::string_view rest = Trim(s.substr(close + 1));
    if (!std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    key = NormalizeKey(s.substr(1, close - 1));
    return !key.empty();
}

// A descriptor of the file table, closed with the object.
struct Fd {
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) {}
    ~Fd() {
        if (fd >= 0) system::seam::CurrentIo().close(fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
};

} // namespace

std::string NormalizeKey(std::string_view key) {
    std::vector<std::string_view> parts;
    size_t i = 0;
    while (i <= key.size()) {
        size_t j = key.find_first_of("\\/", i);
        if (j == std::string_view::npos) j = key.size();
        std::string_view c = key.substr(i, j - i);
        if (!c.empty()) {
            if (c.find(']') != std::string_view::npos || HasControl(c)) return {};
            parts.push_back(c);
        }
        i = j + 1;
    }
    std::string out;
    if (parts.empty() || !Istarts(FullHive(parts[0]), "HKEY_")) out = "HKEY_LOCAL_MACHINE";
    for (size_t k = 0; k < parts.size(); ++k) {
        if (!out.empty()) out += '\\';
        out += k == 0 ? FullHive(parts[0]) : parts[k];
    }
    return out;
}

std::string FormatValue(const RegValue &v) {
    std::string out;
    if (v.name.empty())
        out += '@';
    else
        AppendQuoted(out, v.name);
    out += '=';
    switch (v.type) {
    case RegType::Dword: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
        out += buf;
        break;
    }
    case RegType::ExpandString:
        out += "str(2):";
        AppendQuoted(out, v.text);
        break;
    case RegType::Other: out += v.text; break;
    default: AppendQuoted(out, v.text); break;
    }
    return out;
}

// ---------------------------------------------------------------------------

struct RegDocument::Impl {
    enum Kind { Blank, Comment, Header, Section, BadSection, Value, Orphan, Malformed };
    struct Line {
        std::string raw; // exact text, continuation lines joined by "\n"
        Kind kind = Blank;
        std::string key; // Section: its key; Value: the enclosing key
        RegValue value;
    };
    std::vector<Line> lines;
    bool final_newline = false;
    size_t malformed = 0;

    bool Matches(const Line &l, std::string_view key, std::string_view name) const {
        return l.kind == Value && Iequal(l.key, key) && Iequal(l.value.name, name);
    }
    // Whether a line would take the next line as its continuation.
    static bool Continues(const Line &l) {
        std::string_view raw = l.raw;
        std::string_view first = raw.substr(0, raw.find('\n'));
        std::string_view last =
            raw.substr(raw.rfind('\n') == std::string_view::npos ? 0 : raw.rfind('\n') + 1);
        auto clean = [](std::string_view s) {
            if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
            return Trim(s);
        };
        first = clean(first);
        last = clean(last);
        return !first.empty() && (first[0] == '"' || first[0] == '@') && !last.empty() &&
               last.back() == '\\' && IsBinaryValue(first);
    }
    // End (exclusive) of the block of lines that follows line i.
    size_t BlockEnd(size_t i) const {
        size_t j = i + 1;
        while (j < lines.size() && lines[j].kind != Section && lines[j].kind != BadSection) ++j;
        return j;
    }
};

RegDocument::RegDocument() : impl_(std::make_unique<Impl>()) {}
RegDocument::~RegDocument() = default;
RegDocument::RegDocument(RegDocument &&) noexcept = default;
RegDocument &RegDocument::operator=(RegDocument &&) noexcept = default;

RegDocument RegDocument::Parse(std::string_view bytes, std::string_view origin) {
    RegDocument doc;
    Impl &d = *doc.impl_;
    using L = Impl::Line;
    std::string origin_z(origin.empty() ? "(registry)" : origin);
    std::string key; // the current section's key; empty after a bad one
    size_t pos = 0, lineno = 0;
    d.final_newline = !bytes.empty() && bytes.back() == '\n';
    if (d.final_newline) bytes.remove_suffix(1);
    if (bytes.empty() && !d.final_newline) return doc;
    auto next_line = [&](std::string_view &out) {
        if (pos > bytes.size()) return false;
        size_t nl = bytes.find('\n', pos);
        if (nl == std::string_view::npos) nl = bytes.size();
        out = bytes.substr(pos, nl - pos);
        pos = nl + 1;
        ++lineno;
        return true;
    };
    auto strip_cr = [](std::string_view s) {
        if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
        return s;
    };
    auto bad = [&](size_t at, const char *what) {
        ++d.malformed;
        vrcore::system::trace::Message(5, __FILE__, __LINE__, "registry %s: line %lu %s, skipped\n",
                                       origin_z.c_str(), static_cast<unsigned long>(at), what);
    };
    std::string_view phys;
    while (next_line(phys)) {
        L line;
        line.raw = std::string(phys);
        size_t first = lineno;
        std::string_view t = Trim(strip_cr(phys));
        if (phys.find('\0') != std::string_view::npos) {
            line.kind = Impl::Malformed;
            bad(first, "holds a NUL byte");
        } else if (t.empty()) {
            line.kind = Impl::Blank;
        } else if (t[0] == ';' || t[0] == '#') {
            line.kind = Impl::Comment;
        } else if (t == "REGEDIT4" || t.starts_with("Windows Registry Editor Version ") ||
                   t.starts_with("WINE REGISTRY Version ")) {
            line.kind = Impl::Header;
        } else if (t[0] == '[') {
            if (ParseSection(t, line.key)) {
                line.kind = Impl::Section;
                key = line.key;
            } else {
                line.kind = Impl::BadSection;
                key.clear();
                bad(first, "is not a valid key");
            }
        } else if (t[0] == '"' || t[0] == '@') {
            // Binary data may continue over lines ending in "\".
            std::string joined(t);
            bool binary = IsBinaryValue(t);
            while (binary && joined.back() == '\\' && pos <= bytes.size()) {
                std::string_view more;
                next_line(more);
                line.raw += '\n';
                line.raw += more;
                joined += '\n';
                joined += Trim(strip_cr(more));
            }
            if (!ParseValue(joined, line.value)) {
                line.kind = Impl::Malformed;
                bad(first, "is not a valid value");
            } else if (key.empty()) {
                line.kind = Impl::Orphan;
                bad(first, "is a value outside any key");
            } else {
                line.kind = Impl::Value;
                line.key = key;
            }
        } else {
            line.kind = Impl::Malformed;
            bad(first, "is not understood");
        }
        d.lines.push_back(std::move(line));
    }
    return doc;
}

std::string RegDocument::Render() const {
    std::string out;
    size_t total = 0;
    for (const auto &l : impl_->lines) total += l.raw.size() + 1;
    out.reserve(total);
    for (size_t i = 0; i < impl_->lines.size(); ++i) {
        if (i) out += '\n';
        out += impl_->lines[i].raw;
    }
    if (impl_->final_newline) out += '\n';
    return out;
}

const RegValue *RegDocument::Find(std::string_view key, std::string_view name) const {
    std::string k = NormalizeKey(key);
    if (k.empty()) return nullptr;
    const RegValue *found = nullptr;
    for (const auto &l : impl_->lines)
        if (impl_->Matches(l, k, name)) found = &l.value;
    return found;
}

bool RegDocument::Set(std::string_view key, const RegValue &value) {
    std::string k = NormalizeKey(key);
    if (k.empty() || HasControl(value.name) ||
        (value.type != RegType::String && value.type != RegType::ExpandString &&
         value.type != RegType::Dword) ||
        (value.type != RegType::Dword && HasControl(value.text)))
        return false;
    Impl &d = *impl_;
    Impl::Line line;
    line.kind = Impl::Value;
    line.key = k;
    line.value = value;
    if (value.type == RegType::Dword)
        line.value.text.clear();
    else
        line.value.dword = 0;
    line.raw = FormatValue(line.value);

    // Replace the value in effect; drop earlier copies of it.
    size_t last = d.lines.size();
    for (size_t i = 0; i < d.lines.size(); ++i)
        if (d.Matches(d.lines[i], k, value.name)) last = i;
    if (last != d.lines.size()) {
        line.key = d.lines[last].key;
        d.lines[last] = std::move(line);
        for (size_t i = last; i-- > 0;)
            if (d.Matches(d.lines[i], k, value.name))
                d.lines.erase(d.lines.begin() + static_cast<long>(i));
        d.final_newline = true;
        return true;
    }
    // New value: after the last non-blank line of the key's last section.
    size_t sect = d.lines.size();
    for (size_t i = 0; i < d.lines.size(); ++i)
        if (d.lines[i].kind == Impl::Section && Iequal(d.lines[i].key, k)) sect = i;
    if (sect != d.lines.size()) {
        size_t at = d.BlockEnd(sect);
        while (at > sect + 1 && d.lines[at - 1].kind == Impl::Blank) --at;
        line.key = d.lines[sect].key;
        // A line left open by a trailing "\" would swallow the new one.
        if (Impl::Continues(d.lines[at - 1]))
            d.lines.insert(d.lines.begin() + static_cast<long>(at++),
                           Impl::Line{"", Impl::Blank, {}, {}});
        d.lines.insert(d.lines.begin() + static_cast<long>(at), std::move(line));
        d.final_newline = true;
        return true;
    }
    // New key at the end of the file.
    std::vector<Impl::Line> add;
    if (d.lines.empty()) {
        add.push_back({"REGEDIT4", Impl::Header, {}, {}});
        add.push_back({"", Impl::Blank, {}, {}});
    } else if (d.lines.back().kind != Impl::Blank) {
        add.push_back({"", Impl::Blank, {}, {}});
    }
    add.push_back({"[" + k + "]", Impl::Section, k, {}});
    add.push_back(std::move(line));
    for (auto &l : add) d.lines.push_back(std::move(l));
    d.final_newline = true;
    return true;
}

bool RegDocument::EraseValue(std::string_view key, std::string_view name) {
    std::string k = NormalizeKey(key);
    if (k.empty()) return false;
    Impl &d = *impl_;
    size_t before = d.lines.size();
    std::erase_if(d.lines, [&](const Impl::Line &l) { return d.Matches(l, k, name); });
    if (d.lines.size() == before) return false;
    d.final_newline = true;
    return true;
}

bool RegDocument::EraseKey(std::string_view key) {
    std::string k = NormalizeKey(key);
    if (k.empty()) return false;
    Impl &d = *impl_;
    std::vector<Impl::Line> kept;
    kept.reserve(d.lines.size());
    bool any = false;
    for (size_t i = 0; i < d.lines.size();) {
        if (d.lines[i].kind == Impl::Section && KeyUnder(d.lines[i].key, k)) {
            any = true;
            i = d.BlockEnd(i);
            continue;
        }
        kept.push_back(std::move(d.lines[i]));
        ++i;
    }
    if (!any) {
        // Nothing moved out except lines that were put back in order.
        d.lines = std::move(kept);
        return false;
    }
    d.lines = std::move(kept);
    d.final_newline = true;
    return true;
}

std::vector<std::string> RegDocument::Keys() const {
    std::vector<std::string> out;
    for (const auto &l : impl_->lines)
        if (l.kind == Impl::Section &&
            std::none_of(out.begin(), out.end(),
                         [&](const std::string &k) { return Iequal(k, l.key); }))
            out.push_back(l.key);
    return out;
}

std::vector<RegValue> RegDocument::Values(std::string_view key) const {
    std::vector<RegValue> out;
    std::string k = NormalizeKey(key);
    if (k.empty()) return out;
    for (const auto &l : impl_->lines) {
        if (l.kind != Impl::Value || !Iequal(l.key, k)) continue;
        auto it = std::find_if(out.begin(), out.end(),
                               [&](const RegValue &v) { return Iequal(v.name, l.value.name); });
        if (it != out.end())
            *it = l.value;
        else
            out.push_back(l.value);
    }
    return out;
}

size_t RegDocument::Malformed() const { return impl_->malformed; }

// ---------------------------------------------------------------------------

Registry::Registry(std::string path) : path_(std::move(path)) {}

int Registry::Load(RegDocument &out) const {
    try {
        // Non-blocking so that a FIFO in the file's place cannot hang us.
        Fd f(system::seam::CurrentIo().open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
        if (f.fd < 0) return errno;
        struct stat st;
        if (system::seam::CurrentIo().fstat(f.fd, &st) != 0) return errno;
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode)) return EINVAL;
        if (st.st_size > kMaxFileSize) return EFBIG;
        std::string text;
        if (int rc = system::fileio::ReadAll(f.fd, text, static_cast<size_t>(kMaxFileSize)))
            return rc;
        out = RegDocument::Parse(text, path_);
        return 0;
    } catch (const std::bad_alloc &) {
        return ENOMEM;
    }
}

bool Registry::Query(std::string_view key, std::string_view name, RegValue &out) const {
    try {
        RegDocument doc;
        int rc = Load(doc);
        if (rc != 0) {
            if (rc != ENOENT)
                vrcore::system::trace::Message(5, __FILE__, __LINE__,
                                               "registry %s: cannot read: %s\n", path_.c_str(),
                                               std::strerror(rc));
            return false;
        }
        const RegValue *v = doc.Find(key, name);
        if (!v) return false;
        out = *v;
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

uint32_t Registry::GetDword(std::string_view key, std::string_view name, uint32_t dflt) const {
    RegValue v;
    return Query(key, name, v) && v.type == RegType::Dword ? v.dword : dflt;
}

std::string Registry::GetString(std::string_view key, std::string_view name,
                                std::string_view dflt) const {
    RegValue v;
    if (!Query(key, name, v)) return std::string(dflt);
    if (v.type == RegType::String) return std::move(v.text);
    if (v.type == RegType::ExpandString) return ExpandEnv(v.text);
    return std::string(dflt);
}

int Registry::UpdateImpl(void *ctx, int (*edit)(void *, RegDocument &)) const {
    try {
        const system::seam::Io &io = system::seam::CurrentIo();
        // A registry reached through a symbolic link is rewritten where
        // the link points, so the link survives.
        std::string target = path_;
        struct stat lst;
        if (lstat(path_.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
            char *real = realpath(path_.c_str(), nullptr);
            if (!real) return errno;
            target = real;
            std::free(real);
        }
        size_t slash = target.rfind('/');
        std::string dir = slash == std::string::npos ? "."
                          : slash == 0               ? "/"
                                                     : target.substr(0, slash);
        if (int rc = MakeDirs(dir, 0755)) return rc;

        std::string lockname = target + ".lck";
        Fd lock(io.open(lockname.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
        if (lock.fd < 0) return errno;
        struct stat lkst;
        if (io.fstat(lock.fd, &lkst) == 0 && (lkst.st_mode & 0777) != 0666 &&
            lkst.st_uid == geteuid())
            if (io.fchmod(lock.fd, 0666) != 0) {
                // Best effort: the lock works for this user regardless.
            }
        if (int rc = system::fileio::Lock(lock.fd, system::seam::LockKind::Flock,
                                          system::seam::LockMode::Exclusive, -1))
            return rc;

        Registry at(target);
        RegDocument doc;
        int rc = at.Load(doc);
        bool existed = rc == 0;
        if (rc != 0 && rc != ENOENT) return rc;
        if ((rc = edit(ctx, doc)) != 0) return rc;
        std::string text = doc.Render();
        struct stat old {};
        if (existed && io.stat(target.c_str(), &old) != 0) return errno;

        // The new file keeps the old one's mode and, for a privileged
        // writer, its owner.
        system::fileio::NewFile how;
        how.mode = existed ? int(old.st_mode & 07777) : 0644;
        if (existed) {
            how.uid = old.st_uid;
            how.gid = old.st_gid;
        }
        system::fileio::Result r = system::fileio::ReplaceFile(target, text, how);
        // The new file is in place when only the directory could not be
        // synced: that only delays its durability.
        return r.step == system::fileio::Step::SyncDir ? 0 : r.err;
    } catch (const std::bad_alloc &) {
        return ENOMEM;
    }
}

namespace {

bool WritableText(std::string_view key, std::string_view name, std::string_view text) {
    return !NormalizeKey(key).empty() && !HasControl(name) && !HasControl(text);
}

} // namespace

int Registry::SetString(std::string_view key, std::string_view name, std::string_view text,
                        bool expandable) const {
    try {
        if (!WritableText(key, name, text)) return EINVAL;
        RegValue v;
        v.name = std::string(name);
        v.type = expandable ? RegType::ExpandString : RegType::String;
        v.text = std::string(text);
        return Update([&](RegDocument &d) { return d.Set(key, v) ? 0 : EINVAL; });
    } catch (const std::bad_alloc &) {
        return ENOMEM;
    }
}

int Registry::SetDword(std::string_view key, std::string_view name, uint32_t value) const {
    try {
        if (!WritableText(key, name, {})) return EINVAL;
        RegValue v;
        v.name = std::string(name);
        v.type = RegType::Dword;
        v.dword = value;
        return Update([&](RegDocument &d) { return d.Set(key, v) ? 0 : EINVAL; });
    } catch (const std::bad_alloc &) {
        return ENOMEM;
    }
}

int Registry::DeleteValue(std::string_view key, std::string_view name) const {
    try {
        if (NormalizeKey(key).empty()) return EINVAL;
        struct stat st;
        if (system::seam::CurrentIo().stat(path_.c_str(), &st) != 0) return errno;
        return Update([&](RegDocument &d) { return d.EraseValue(key, name) ? 0 : ENOENT; });
    } catch (const std::bad_alloc &) {
        return ENOMEM;
    }
}

int Registry::DeleteKey(std::string_view key) const {
    try {
        if (NormalizeKey(key).empty()) return EINVAL;
        struct stat st;
        if (system::seam::CurrentIo().stat(path_.c_str(), &st) != 0) return errno;
        return Update([&](RegDocument &d) { return d.EraseKey(key) ? 0 : ENOENT; });
    } catch (const std::bad_alloc &) {
        return ENOMEM;
    }
}

} // namespace vrcore::system::cfg
