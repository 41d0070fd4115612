// Lookups (exact, by abbreviation, by name) and the exported operations.
#include "btree/vrbm_internal.h"

#include "system/guard.h"
#include "vrcore/log.h"

#include <new>

namespace vrcore::btree {

namespace {

inline uint8_t Fold(uint8_t ch) { return ch >= 'A' && ch <= 'Z' ? uint8_t(ch + 32) : ch; }

int CompareFolded(const uint8_t *a, unsigned al, const uint8_t *b, unsigned bl) {
    unsigned n = al < bl ? al : bl;
    for (unsigned i = 0; i < n; i++) {
        int d = int(Fold(a[i])) - int(Fold(b[i]));
        if (d) return d;
    }
    return al < bl ? -1 : al > bl ? 1 : 0;
}

// Moves from an inner node to the child at index i, checking that the
// child is a page of the file that names this node as its parent.
uint8_t *Child(VRBM_Db *db, const Page &pg, unsigned i, uint32_t *err) {
    unsigned child = pg.Child(i), self = pg.Id(); // the fetch may reuse pg's buffer
    if (child == 0 || child > Page{db->page0}.Parent()) {
        *err = VRBM_E_CORRUPT;
        return nullptr;
    }
    uint8_t *b = FetchPage(db, child, err);
    if (b && Page{b}.Parent() != self) {
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: page %u does not name %u as its parent\n",
                        child, self);
        *err = VRBM_E_CORRUPT;
        return nullptr;
    }
    return b;
}

// Result codes of the abbreviation comparison.
enum AbbrevResult { kBefore = 0, kMatch = 1, kAfter = 2, kNull = 3, kNear = 4 };

struct Component {
    const uint8_t *p;
    unsigned len;
};

unsigned SplitComponents(const uint8_t *s, unsigned len, Component *out) {
    unsigned n = 0, start = 0;
    for (unsigned i = 0; i <= len; i++) {
        if (i == len || s[i] == '-') {
            out[n++] = Component{s + start, i - start};
            start = i + 1;
        }
    }
    return n;
}

int ComparePrefix(const Component &a, const Component &b) {
    unsigned n = a.len < b.len ? a.len : b.len;
    return n ? std::memcmp(a.p, b.p, n) : 0;
}

// Abbreviation a against stored key k: components separated by '-' must
// agree pairwise over the shorter one's length, and be as many.
int CompareAbbrev(const uint8_t *a, unsigned al, const uint8_t *k, unsigned kl) {
    if (!a || !k) return kNull;
    Component ac[VRBM_MAX_KEY + 1], kc[VRBM_MAX_KEY + 1];
    unsigned an = SplitComponents(a, al, ac), kn = SplitComponents(k, kl, kc);
    if (al <= kl && an == kn) {
        bool same = true;
        for (unsigned i = 0; i < an && same; i++) same = ComparePrefix(ac[i], kc[i]) == 0;
        if (same) return kMatch;
    }
    int c = ComparePrefix(ac[0], kc[0]);
    if (c > 0) return kAfter;
    if (c < 0) return kBefore;
    return kc[0].len < ac[0].len ? kAfter : kNear;
}

constexpr unsigned kNone = 0xFFFF, kAmbiguous = 0xFFFE, kNoMem = 0xFFFD;

struct AbbrevSearch {
    VRBM_Db *db;
    const uint8_t *abbrev;
    unsigned len;
    bool collect;
    Position state{0, kNone};
    bool matched = false;
    VRBM_MatchNode *head = nullptr, **tail = &head;
    unsigned long budget; // node visits left: a tree visits each node once
    uint32_t err = 0;

    bool Stopped() const {
        return err || state.index == kNoMem || (!collect && state.index == kAmbiguous);
    }

    void Match(const Page &pg, unsigned i) {
        if (collect) {
            unsigned kl;
            const uint8_t *k = pg.Key(i, &kl);
            auto *node = static_cast<VRBM_MatchNode *>(Alloc(sizeof(VRBM_MatchNode)));
            char *name = node ? static_cast<char *>(Alloc(kl + 1)) : nullptr;
            if (!name) {
                Free(node);
                state.index = kNoMem;
                return;
            }
            std::memcpy(name, k, kl);
            name[kl] = 0;
            LOG_CondMessage(14, "vrbm", __LINE__, "VRBM: abbrev match found: %s\n", name);
            node->name = name;
            node->next = nullptr;
            *tail = node;
            tail = &node->next;
        }
        if (matched) {
            state.index = kAmbiguous;
            return;
        }
        matched = true;
        state = Position{pg.Id(), i};
    }

    void Visit(uint8_t *b, unsigned depth) {
        if (budget-- == 0 || depth > kMaxDepth) {
            err = VRBM_E_CORRUPT;
            return;
        }
        uint8_t image[kPageSize]; // the cache may reuse the buffer below us
        std::memcpy(image, b, kPageSize);
        Page pg{image};
        if (pg.Used() == 0 && !(pg.Type() == kInner)) return;
        unsigned last = pg.Last();
        for (unsigned i = 0; i < last && !Stopped(); i++) {
            unsigned kl;
            const uint8_t *k = pg.Key(i, &kl);
            int r = CompareAbbrev(abbrev, len, k, kl);
            if (pg.IsLeaf()) {
                if (r == kMatch)
                    Match(pg, i);
                else if (r == kBefore)
                    return;
                continue;
            }
            if (r == kAfter) continue;
            uint8_t *cb = Child(db, pg, i, &err);
            if (!cb) return;
            Visit(cb, depth + 1);
            if (r == kBefore) return;
        }
        if (pg.IsLeaf() || Stopped()) return;
        uint8_t *cb = Child(db, pg, last, &err);
        if (cb) Visit(cb, depth + 1);
    }
};

void FreeList(VRBM_MatchNode *l) {
    while (l) {
        VRBM_MatchNode *next = l->next;
        Free(l->name);
        Free(l);
        l = next;
    }
}

// In-order walk of every item, for lookups the key order cannot steer.
// Stops when visit returns true.
template <class F> uint32_t Walk(VRBM_Db *db, uint8_t *b, unsigned depth, unsigned long &budget,
                                 F &visit, bool &done) {
    if (budget-- == 0 || depth > kMaxDepth) return VRBM_E_CORRUPT;
    Page pg{b};
    if (pg.IsLeaf()) {
        for (unsigned i = 0; i < pg.Last() && !done; i++) done = visit(pg, i);
        return 0;
    }
    if (depth == 0 && pg.Used() == 0) return 0;
    uint16_t children[kMaxEntries + 1];
    unsigned last = pg.Last(), self = pg.Id();
    for (unsigned i = 0; i <= last; i++) children[i] = uint16_t(pg.Child(i));
    for (unsigned i = 0; i <= last && !done; i++) {
        uint32_t err = 0;
        if (children[i] == 0 || children[i] > Page{db->page0}.Parent()) return VRBM_E_CORRUPT;
        uint8_t *cb = FetchPage(db, children[i], &err);
        if (!cb) return err;
        if (Page{cb}.Parent() != self) return VRBM_E_CORRUPT;
        if ((err = Walk(db, cb, depth + 1, budget, visit, done))) return err;
    }
    return 0;
}

bool Valid(VRBM_Db *db) { return db && db->magic == kMagic; }

VRBM_Datum Datum(const uint8_t *p, int32_t len) { return VRBM_Datum{(const char *)p, len}; }

// The data of the item at a search position, or the absent datum.
VRBM_Datum DataAt(VRBM_Db *db, Position pos, uint32_t err) {
    if (err) return Datum(nullptr, VRBM_LEN_ERROR);
    if (pos.index == kNone) return Datum(nullptr, VRBM_LEN_ABSENT);
    uint8_t *b = FetchPage(db, pos.page, &err);
    if (!b) return Datum(nullptr, VRBM_LEN_ERROR);
    unsigned dl;
    const uint8_t *d = Page{b}.Data(pos.index, &dl);
    return Datum(d, int32_t(dl));
}

} // namespace

Position Search(VRBM_Db *db, const uint8_t *key, unsigned kl, uint32_t *err) {
    uint8_t *b = db->page0;
    if (Page{b}.Used() == 0) return Position{0, kNone};
    for (unsigned depth = 0; depth <= kMaxDepth; depth++) {
        Page pg{b};
        bool equal;
        unsigned i = LowerBound(pg, key, kl, &equal);
        if (pg.IsLeaf()) return Position{pg.Id(), equal ? i : kNone};
        b = Child(db, pg, i, err);
        if (!b) return Position{0, kNone};
    }
    *err = VRBM_E_CORRUPT;
    return Position{0, kNone};
}

uint32_t ForEach(VRBM_Db *db,
                 bool (*visit)(void *ctx, const uint8_t *key, unsigned kl, const uint8_t *data,
                               unsigned dl),
                 void *ctx) {
    if (!Valid(db)) return VRBM_E_BADHANDLE;
    std::lock_guard<std::mutex> g(db->lock);
    unsigned long budget = (unsigned long)Page{db->page0}.Parent() + 1;
    bool done = false;
    auto each = [&](const Page &pg, unsigned i) {
        unsigned kl, dl;
        const uint8_t *k = pg.Key(i, &kl);
        const uint8_t *d = pg.Data(i, &dl);
        return !visit(ctx, k, kl, d, dl);
    };
    return Walk(db, db->page0, 0, budget, each, done);
}

} // namespace vrcore::btree

using namespace vrcore::btree;

namespace {

// Runs a store or delete as one undoable operation.
template <class F> uint32_t Modify(VRBM_Db *db, F op) {
    if (!Valid(db)) return VRBM_E_BADHANDLE;
    std::lock_guard<std::mutex> g(db->lock);
    if (!Writable(db)) return VRBM_E_READONLY;
    BeginOperation(db);
    uint32_t rc = op();
    EndOperation(db, rc != 0);
    return rc;
}

} // namespace

extern "C" VR_EXPORT uint32_t VRBM_store(VRBM_Db *db, const void *key, int32_t key_len,
                                         const void *data, int32_t data_len, int32_t replace) try {
    LOG_CondFuncTrace("VRBM_store()", "vrbm", __LINE__, 1, nullptr);
    if (key_len < 0 || data_len < 0 || (!key && key_len) || (!data && data_len))
        return VRBM_E_ITEMSIZE;
    if (key_len > VRBM_MAX_KEY) return VRBM_E_KEYSIZE;
    if (key_len + data_len > VRBM_MAX_ITEM) return VRBM_E_ITEMSIZE;
    return Modify(db, [&] {
        return AddItem(db, static_cast<const uint8_t *>(key), unsigned(key_len),
                       static_cast<const uint8_t *>(data), unsigned(data_len), replace == 1);
    });
}
VR_CATCH_CODE(VRBM_E_NOMEM, VRBM_E_INTERNAL)

extern "C" VR_EXPORT uint32_t VRBM_delete(VRBM_Db *db, const void *key, int32_t key_len) try {
    LOG_CondFuncTrace("VRBM_delete()", "vrbm", __LINE__, 1, nullptr);
    if (key_len < 0 || key_len > VRBM_MAX_KEY || (!key && key_len)) return VRBM_E_NOTFOUND;
    return Modify(
        db, [&] { return RemoveItem(db, static_cast<const uint8_t *>(key), unsigned(key_len)); });
}
VR_CATCH_CODE(VRBM_E_NOMEM, VRBM_E_INTERNAL)

extern "C" VR_EXPORT VRBM_Datum VRBM_fetch(VRBM_Db *db, const void *key, int32_t key_len) try {
    LOG_CondFuncTrace("VRBM_fetch()", "vrbm", __LINE__, 1, nullptr);
    if (!Valid(db)) return Datum(nullptr, VRBM_LEN_ERROR);
    if (key_len < 0 || key_len > VRBM_MAX_KEY || (!key && key_len))
        return Datum(nullptr, VRBM_LEN_ABSENT);
    std::lock_guard<std::mutex> g(db->lock);
    uint32_t err = 0;
    Position pos = Search(db, static_cast<const uint8_t *>(key), unsigned(key_len), &err);
    return DataAt(db, pos, err);
}
VR_CATCH_RETURN((Datum(nullptr, VRBM_LEN_ERROR)))

extern "C" VR_EXPORT VRBM_Datum VRBM_fetchName(VRBM_Db *db, const char *name, int32_t name_len,
                                               int32_t case_sensitive) try {
    LOG_CondFuncTrace("VRBM_fetchName()", "vrbm", __LINE__, 1, " -- %.*s",
                      name && name_len > 0 ? int(name_len) : 0, name ? name : "");
    if (!Valid(db)) return Datum(nullptr, VRBM_LEN_ERROR);
    if (name_len < 0 || name_len > VRBM_MAX_KEY || (!name && name_len))
        return Datum(nullptr, VRBM_LEN_ABSENT);
    std::lock_guard<std::mutex> g(db->lock);
    auto *key = reinterpret_cast<const uint8_t *>(name);
    unsigned kl = unsigned(name_len);
    uint32_t err = 0;
    Position pos = Search(db, key, kl, &err);
    if (err || pos.index != kNone || case_sensitive == 1) return DataAt(db, pos, err);
    // Names that differ in case are not neighbours in key order: look at
    // every item.
    Position found{0, kNone};
    unsigned long budget = (unsigned long)Page{db->page0}.Parent() + 1;
    bool done = false;
    auto visit = [&](const Page &pg, unsigned i) {
        unsigned sl;
        const uint8_t *sk = pg.Key(i, &sl);
        if (CompareFolded(key, kl, sk, sl) != 0) return false;
        found = Position{pg.Id(), i};
        return true;
    };
    err = Walk(db, db->page0, 0, budget, visit, done);
    return DataAt(db, found, err);
}
VR_CATCH_RETURN((Datum(nullptr, VRBM_LEN_ERROR)))

extern "C" VR_EXPORT VRBM_Datum VRBM_fetchAbbrev(VRBM_Db *db, const char *abbrev,
                                                 int32_t abbrev_len, VRBM_MatchNode **matches,
                                                 int32_t keep_list) try {
    LOG_CondFuncTrace("VRBM_fetchAbbrev()", "vrbm", __LINE__, 1, nullptr);
    if (!Valid(db)) return Datum(nullptr, VRBM_LEN_ERROR);
    if (abbrev_len < 0 || abbrev_len > VRBM_MAX_KEY || !abbrev)
        return Datum(nullptr, VRBM_LEN_NOMATCH);
    std::lock_guard<std::mutex> g(db->lock);
    AbbrevSearch s;
    s.db = db;
    s.abbrev = reinterpret_cast<const uint8_t *>(abbrev);
    s.len = unsigned(abbrev_len);
    s.collect = matches != nullptr;
    s.budget = (unsigned long)Page{db->page0}.Parent() + 1;
    if (Page{db->page0}.Used() != 0) s.Visit(db->page0, 0);
    if (s.err) {
        FreeList(s.head);
        return Datum(nullptr, VRBM_LEN_ERROR);
    }
    if (s.state.index == kNoMem) {
        FreeList(s.head);
        return Datum(nullptr, VRBM_LEN_NOMEM);
    }
    if (s.state.index == kAmbiguous) {
        if (matches) *matches = s.head;
        return Datum(nullptr, VRBM_LEN_AMBIGUOUS);
    }
    if (!s.matched) return Datum(nullptr, VRBM_LEN_NOMATCH);
    VRBM_Datum result = DataAt(db, s.state, 0);
    if (result.len < 0 || keep_list != 1)
        FreeList(s.head);
    else
        *matches = s.head;
    return result;
}
VR_CATCH_RETURN((Datum(nullptr, VRBM_LEN_ERROR)))

extern "C" VR_EXPORT void VRBM_freeMatchList(VRBM_MatchNode *list) try { FreeList(list); }
VR_CATCH_VOID
