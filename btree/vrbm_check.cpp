// The database checker: walks every node reachable from the root and
// verifies the file's invariants, optionally listing each node; and the
// checking tool's report, which also covers a journal left beside the file.
#include "btree/vrbm_internal.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace vrcore::btree {

namespace {

std::string Printable(const uint8_t *p, unsigned n) {
    std::string s;
    for (unsigned i = 0; i < n; i++) {
        if (p[i] >= 0x20 && p[i] < 0x7F && p[i] != '\\') {
            s += char(p[i]);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", p[i]);
            s += hex;
        }
    }
    return s;
}

std::string Fmt(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Fmt(const char *format, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    return buf;
}

struct Checker {
    VRBM_Db *db;
    std::string *dump;
    std::vector<bool> seen;
    unsigned long items = 0;
    int leaf_depth = -1;
    std::string fault;

    bool Fail(unsigned page, const std::string &what) {
        if (fault.empty()) {
            fault = Fmt("page %u: ", page);
            fault += what;
        }
        return false;
    }

    // Checks the subtree at page: every key in (lo, hi] (a null bound is
    // open). *max receives its largest key; *empty tells whether it holds
    // no item.
    bool Node(unsigned page, unsigned parent, unsigned depth, const std::string *lo,
              const std::string *hi, std::string *max, bool *empty) {
        if (depth > kMaxDepth) return Fail(page, "tree deeper than any valid tree");
        if (page != 0) {
            if (page >= seen.size()) return Fail(page, "child number beyond the last page");
            if (seen[page]) return Fail(page, "page reached twice");
            seen[page] = true;
        }
        uint32_t err = 0;
        uint8_t *b = FetchPage(db, page, &err);
        if (!b) {
            const char *why = err == VRBM_E_IO ? "cannot be read" : "not a valid node";
            if (uint8_t tmp[kPageSize];
                system::seam::CurrentIo().pread(db->fd, tmp, kPageSize, off_t(page) * kPageSize) ==
                kPageSize)
                if (const char *v = ValidatePage(tmp, page)) why = v;
            return Fail(page, why);
        }
        std::vector<uint8_t> image(b, b + kPageSize);
        Page pg{image.data()};
        if (page != 0 && pg.Type() == kRoot) return Fail(page, "a second root");
        if (page != 0 && pg.Parent() != parent)
            return Fail(page, Fmt("parent link names %u, listed by %u", pg.Parent(), parent));
        unsigned last = pg.Last();
        if (dump) {
            *dump += Fmt("page %u %s parent %u last %u used %u\n", page,
                         pg.Type() == kRoot ? "root"
                         : pg.IsLeaf()      ? "leaf"
                                            : "inner",
                         page ? pg.Parent() : 0, last, pg.Used());
            for (unsigned i = 0; i < last; i++) {
                unsigned kl, dl;
                const uint8_t *k = pg.Key(i, &kl);
                *dump += Fmt("  [%u] \"", i);
                *dump += Printable(k, kl);
                *dump += '"';
                if (pg.IsLeaf()) {
                    const uint8_t *d = pg.Data(i, &dl);
                    *dump += " = \"";
                    *dump += Printable(d, dl);
                    *dump += '"';
                }
                *dump += "\n";
            }
            if (!pg.IsLeaf()) {
                *dump += "  children";
                for (unsigned i = 0; i <= last; i++) *dump += Fmt(" %u", pg.Child(i));
                *dump += "\n";
            }
        }
        std::vector<std::string> keys;
        for (unsigned i = 0; i < last; i++) {
            unsigned kl;
            const uint8_t *k = pg.Key(i, &kl);
            keys.emplace_back(reinterpret_cast<const char *>(k), kl);
        }
        auto cmp = [](const std::string &a, const std::string &b) {
            return CompareKeys(reinterpret_cast<const uint8_t *>(a.data()), unsigned(a.size()),
                               reinterpret_cast<const uint8_t *>(b.data()), unsigned(b.size()));
        };
        if (pg.IsLeaf()) {
            if (leaf_depth < 0) leaf_depth = int(depth);
            if (leaf_depth != int(depth)) return Fail(page, "leaves at different depths");
            for (auto &k : keys) {
                if (lo && cmp(k, *lo) <= 0) return Fail(page, "key not above its lower bound");
                if (hi && cmp(k, *hi) > 0) return Fail(page, "key above its separator");
            }
            items += last;
            *empty = last == 0;
            if (last) *max = keys.back();
            if (last == 0 && !(parent == 0 && Page{db->page0}.Last() < 2))
                return Fail(page, "empty leaf outside a two-leaf root");
            return true;
        }
        if (page == 0 && pg.Used() == 0) {
            *empty = true;
            return true;
        }
        if (last == 0) return Fail(page, "inner node without keys");
        for (unsigned i = 0; i < last; i++) {
            if (lo && cmp(keys[i], *lo) <= 0 && !(keys[i].empty() && page == 0))
                return Fail(page, "separator not above its lower bound");
            if (hi && cmp(keys[i], *hi) > 0) return Fail(page, "separator above its own bound");
        }
        *empty = true;
        for (unsigned i = 0; i <= last; i++) {
            const std::string *clo = i == 0 ? lo : &keys[i - 1];
            const std::string *chi = i < last ? &keys[i] : hi;
            std::string cmax;
            bool cempty = false;
            if (!Node(pg.Child(i), page, depth + 1, clo, chi, &cmax, &cempty)) return false;
            if (i < last) {
                if (cempty ? !keys[i].empty() : cmp(cmax, keys[i]) != 0)
                    return Fail(page, Fmt("separator %u is not the largest key of its child", i));
            }
            if (!cempty) {
                *empty = false;
                *max = cmax;
            }
        }
        if (hi && !*empty && cmp(*max, *hi) != 0 && page != 0)
            return Fail(page, "largest key differs from the separator above");
        return true;
    }
};

} // namespace

std::string CheckTree(VRBM_Db *db, std::string *dump, unsigned long *items) {
    if (!db || db->magic != kMagic) return "not an open database";
    std::lock_guard<std::mutex> g(db->lock);
    Checker c{db, dump, std::vector<bool>(size_t(Page{db->page0}.Parent()) + 1, false), 0, -1, {}};
    if (const char *why = ValidatePage(db->page0, 0)) return std::string("page 0: ") + why;
    std::string max;
    bool empty;
    c.Node(0, 0, 0, nullptr, nullptr, &max, &empty);
    if (dump) *dump += Fmt("last page %u\n", Page{db->page0}.Parent());
    if (items) *items = c.items;
    return c.fault;
}

int CheckFile(const std::string &path, bool dump, bool repair, std::string *out) {
    std::string base = path;
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".dbm") == 0)
        base.resize(base.size() - 4);
    JournalInfo j;
    // Without repair nothing is written: a journal's images stand in for
    // the pages they would restore.
    VRBM_Db *db = repair ? OpenDb(base.c_str(), VRBM_RDWR, 0, Recovery::kRollBack, &j)
                         : OpenDb(base.c_str(), VRBM_RDONLY, 0, Recovery::kInMemory, &j);
    int err = errno;
    const std::string file = base + ".dbm: ";
    switch (j.state) {
    case JournalState::kNone: break;
    case JournalState::kValid:
        *out += file + Fmt("journal of an unfinished write-back (%u pages)", j.pages);
        *out += repair ? ": rolled back\n" : ": checking the file as rolled back\n";
        break;
    case JournalState::kIncomplete:
        *out += file + "incomplete journal: the file was not touched; ";
        *out += repair ? "removed\n" : "the next opener removes it\n";
        break;
    case JournalState::kUnreadable: *out += file + "the journal cannot be read\n"; break;
    }
    if (!db) {
        *out += file + "cannot be opened as a database (" + std::strerror(err) + ")\n";
        return 2;
    }
    unsigned long items = 0;
    std::string fault = CheckTree(db, dump ? out : nullptr, &items);
    VRBM_close(db);
    if (!fault.empty()) {
        *out += file + fault + "\n";
        return 1;
    }
    *out += file + Fmt("valid, %lu items\n", items);
    return 0;
}

} // namespace vrcore::btree
