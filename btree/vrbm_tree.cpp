// Keeping the tree balanced while items are stored and removed.
//
// A change starts in a leaf and climbs: a node that no longer fits first
// sheds entries to its right or left neighbour, and only when neither has
// room are the node and a neighbour split into three. A node left with a
// single entry is merged into a neighbour (or takes entries from it). The
// separator of a child in its parent is always the largest key below it.
//
// Nodes are worked on as lists of entries decoded from private copies of
// the pages and written back whole. An inner node's entries are its child
// pointers, each paired with the separator that follows it; the last
// child's separator is the one its own parent keeps for the node (unknown
// on the right edge of the tree). Seen this way, leaves and inner nodes
// are redistributed by the same code: cutting a run of entries into nodes
// leaves each node's last separator to go up into the parent.
#include "btree/vrbm_internal.h"

#include "system/vr_assert.h"
#include "vrcore/log.h"

#include <algorithm>

namespace vrcore::btree {

namespace {

constexpr unsigned kNodeMax = 34; // 33 children, or 32 items, plus one being added
constexpr unsigned kSeqMax = 2 * kNodeMax;
constexpr uint16_t kUnknown = 0xFFFF;

struct Entry {
    const uint8_t *key;
    uint16_t kl; // kUnknown: the separator lies beyond the right edge of the tree
    const uint8_t *data;
    uint16_t dl;
    uint16_t child;
    uint16_t from; // the page the entry was read from
};

struct Node {
    unsigned page;
    unsigned type;
    unsigned parent;
    unsigned n;
    Entry e[kNodeMax];
    uint8_t image[kPageSize];
};

struct Level {
    unsigned page;
    unsigned idx; // position in the parent's child list
    uint16_t sep_len;
    uint8_t sep[VRBM_MAX_KEY];
};

struct Ctx {
    VRBM_Db *db;
    Level path[kMaxDepth + 1];
    unsigned depth; // level of the leaf
};

unsigned EntrySize(const Entry &e, bool leaf) {
    return leaf ? RecordSize(e.kl) + RecordSize(e.dl) : RecordSize(e.kl);
}

bool SameKey(const uint8_t *a, unsigned al, const uint8_t *b, unsigned bl) {
    return al == bl && (al == 0 || std::memcmp(a, b, al) == 0);
}

bool IsLeafType(unsigned t) { return t == kLeaf; }

// Decodes a page into a node, reading from a private copy of the page.
// The last child of an inner node takes the separator `sep`.
uint32_t Load(Ctx &c, unsigned page, const uint8_t *sep, uint16_t sep_len, Node &nd) {
    uint32_t err = 0;
    const uint8_t *b = FetchPage(c.db, page, &err);
    if (!b) return err;
    std::memcpy(nd.image, b, kPageSize);
    Page pg{nd.image};
    nd.page = page;
    nd.type = pg.Type();
    nd.parent = page == 0 ? 0 : pg.Parent();
    unsigned last = pg.Last(), last_node = Page{c.db->page0}.Parent();
    VR_ASSERT(last <= kMaxEntries); // a page from the cache has been validated
    for (unsigned i = 0; i < last; i++) {
        Entry &e = nd.e[i];
        unsigned kl, dl = 0;
        e.key = pg.Key(i, &kl);
        e.kl = uint16_t(kl);
        e.data = pg.IsLeaf() ? pg.Data(i, &dl) : nullptr;
        e.dl = uint16_t(dl);
        e.child = pg.IsLeaf() ? 0 : uint16_t(pg.Child(i));
        e.from = uint16_t(page);
    }
    nd.n = last;
    if (!pg.IsLeaf()) {
        Entry &e = nd.e[last];
        e.key = sep;
        e.kl = sep_len;
        e.data = nullptr;
        e.dl = 0;
        e.child = uint16_t(pg.Child(last));
        e.from = uint16_t(page);
        nd.n = last + 1;
        for (unsigned i = 0; i < nd.n; i++)
            if (nd.e[i].child == 0 || nd.e[i].child > last_node) return VRBM_E_CORRUPT;
    }
    return 0;
}

// Loads the parent's child at position idx and checks that it belongs there.
uint32_t LoadChild(Ctx &c, const Node &parent, unsigned idx, unsigned type, Node &nd) {
    const Entry &pe = parent.e[idx];
    uint32_t rc = Load(c, pe.child, pe.key, pe.kl, nd);
    if (rc) return rc;
    if (nd.type != type || nd.parent != parent.page) return VRBM_E_CORRUPT;
    return 0;
}

// Smallest number of entries a non-root node may be given.
unsigned MinEntries(unsigned type) { return IsLeafType(type) ? 1 : 2; }

bool Fits(const Entry *e, unsigned a, unsigned b, unsigned type);

// Writes entries [a, b) as the content of a page, keeping the page's
// identity, and gives moved children their new parent.
uint32_t Write(Ctx &c, const Entry *e, unsigned a, unsigned b, unsigned type, unsigned page,
               unsigned parent) {
    // Only the root lives in page 0, and what is written must fit the node.
    VR_ASSERT((page == 0) == (type == kRoot));
    VR_ASSERT(b >= a && b - a <= kNodeMax && Fits(e, a, b, type));
    uint32_t err = 0;
    uint8_t *dst = ChangePage(c.db, page, &err);
    if (!dst) return err;
    Page pg{dst};
    unsigned keep_parent = page == 0 ? pg.Parent() : parent; // page 0 keeps lastNodeId
    std::memset(dst, 0, kPageSize);
    Put32(dst, (type << 2) | 1u);
    pg.SetId(page);
    pg.SetParent(keep_parent);
    bool leaf = IsLeafType(type);
    unsigned keys = leaf ? b - a : b - a - 1, off = 0;
    uint8_t *area = pg.Area();
    for (unsigned i = 0; i < keys; i++) {
        const Entry &x = e[a + i];
        pg.SetOffset(i, off);
        Put16(area + off, x.kl);
        if (x.kl) std::memcpy(area + off + 2, x.key, x.kl);
        off += RecordSize(x.kl);
        if (leaf) {
            Put16(area + off, x.dl);
            if (x.dl) std::memcpy(area + off + 2, x.data, x.dl);
            off += RecordSize(x.dl);
        }
    }
    VR_ASSERT(keys <= kMaxEntries && off <= pg.AreaSize());
    pg.SetLast(keys);
    pg.SetUsed(off);
    if (leaf) return 0;
    for (unsigned i = a; i < b; i++) pg.SetChild(i - a, e[i].child);
    for (unsigned i = a; i < b; i++) {
        // A child is a page of its own below the node, never the root.
        VR_ASSERT(e[i].child != 0 && e[i].child != page);
        if (e[i].from == page) continue;
        uint8_t *ch = ChangePage(c.db, e[i].child, &err);
        if (!ch) return err;
        Page{ch}.SetParent(page);
    }
    return 0;
}

// Running sizes of a run of entries, for fitting cuts in constant time.
struct Sizes {
    unsigned type;
    unsigned p[kSeqMax + 1];
    Sizes(const Entry *e, unsigned n, unsigned t) : type(t) {
        p[0] = 0;
        for (unsigned i = 0; i < n; i++) p[i + 1] = p[i] + EntrySize(e[i], IsLeafType(t));
    }
    // Bytes a node holding entries [a, b) uses.
    unsigned Used(unsigned a, unsigned b) const {
        return IsLeafType(type) ? p[b] - p[a] : p[b - 1] - p[a];
    }
    bool Fits(unsigned a, unsigned b) const {
        if (IsLeafType(type)) return b - a <= kMaxEntries && Used(a, b) <= kLeafAreaSize;
        return b > a && b - a - 1 <= kMaxEntries && Used(a, b) <= kInnerAreaSize;
    }
};

// Whether entries [a, b) fit in one node of the type.
bool Fits(const Entry *e, unsigned a, unsigned b, unsigned type) {
    Sizes s(e + a, b - a, type);
    return s.Fits(0, b - a);
}

// Best place to cut entries into two nodes: both fit, sizes as even as
// possible. Returns 0 when there is none.
unsigned CutTwo(const Entry *e, unsigned n, unsigned type) {
    Sizes s(e, n, type);
    unsigned best = 0, best_diff = ~0u, min_e = MinEntries(type);
    for (unsigned k = min_e; k + min_e <= n; k++) {
        if (!s.Fits(0, k)) break;
        if (!s.Fits(k, n)) continue;
        unsigned l = s.Used(0, k), r = s.Used(k, n);
        unsigned diff = l > r ? l - r : r - l;
        if (diff < best_diff) {
            best_diff = diff;
            best = k;
        }
    }
    return best;
}

// Best cut into three nodes; false when there is none.
bool CutThree(const Entry *e, unsigned n, unsigned type, unsigned *k1, unsigned *k2) {
    Sizes s(e, n, type);
    unsigned min_e = MinEntries(type), best_cost = ~0u;
    bool found = false;
    for (unsigned a = min_e; a + 2 * min_e <= n; a++) {
        if (!s.Fits(0, a)) break;
        unsigned ba = s.Used(0, a);
        for (unsigned b = a + min_e; b + min_e <= n; b++) {
            if (!s.Fits(a, b)) break;
            if (!s.Fits(b, n)) continue;
            unsigned bb = s.Used(a, b), bc = s.Used(b, n);
            unsigned hi = std::max(ba, std::max(bb, bc)), lo = std::min(ba, std::min(bb, bc));
            if (hi - lo < best_cost) {
                best_cost = hi - lo;
                *k1 = a;
                *k2 = b;
                found = true;
            }
        }
    }
    return found;
}

// The key a node's parent keeps for it: its largest key (the empty key
// for an empty leaf).
void LastKey(const Node &nd, const uint8_t **key, uint16_t *kl) {
    if (nd.n == 0) {
        *key = nd.image;
        *kl = 0;
        return;
    }
    *key = nd.e[nd.n - 1].key;
    *kl = nd.e[nd.n - 1].kl;
}

uint32_t Put(Ctx &c, unsigned d, Node &nd);

uint32_t LoadLevel(Ctx &c, unsigned d, Node &nd) {
    const Level &l = c.path[d];
    const uint8_t *sep = d == 0 ? nullptr : l.sep;
    return Load(c, l.page, sep, d == 0 ? kUnknown : l.sep_len, nd);
}

// The largest key below the node at level d became `key`: update the
// separator that stands for it, wherever up the tree that is kept.
uint32_t SetSeparator(Ctx &c, unsigned d, const uint8_t *key, uint16_t kl) {
    for (unsigned level = d; level > 0; level--) {
        Level &l = c.path[level];
        if (l.sep_len == kUnknown) return 0; // right edge: nothing keeps it
        VR_ASSERT(kl <= VRBM_MAX_KEY);
        std::memmove(l.sep, key, kl);
        l.sep_len = kl;
        key = l.sep;
        Node parent;
        uint32_t rc = LoadLevel(c, level - 1, parent);
        if (rc) return rc;
        if (l.idx >= parent.n || parent.e[l.idx].child != l.page) return VRBM_E_NOPARENT;
        if (l.idx + 1 < parent.n) {
            parent.e[l.idx].key = key;
            parent.e[l.idx].kl = kl;
            return Put(c, level - 1, parent);
        }
    }
    return 0;
}

// Replaces the parent's entries [first, first + oldCount) with `count`
// entries for the given pages, each with its node's largest key.
void Respan(Node &parent, unsigned first, unsigned old_count, const unsigned *pages,
            const Entry *seq, const unsigned *cuts, unsigned count) {
    VR_ASSERT(first + old_count <= parent.n && parent.n - old_count + count <= kNodeMax);
    Entry tail[kNodeMax];
    unsigned rest = parent.n - (first + old_count);
    std::memcpy(tail, parent.e + first + old_count, rest * sizeof(Entry));
    for (unsigned g = 0; g < count; g++) {
        Entry &pe = parent.e[first + g];
        const Entry &last_e = seq[cuts[g + 1] - 1];
        pe.child = uint16_t(pages[g]);
        pe.from = uint16_t(parent.page);
        pe.data = nullptr;
        pe.dl = 0;
        if (cuts[g + 1] == cuts[g]) { // an empty leaf keeps the empty key
            pe.key = parent.image;
            pe.kl = 0;
        } else {
            pe.key = last_e.key;
            pe.kl = last_e.kl;
        }
    }
    std::memcpy(parent.e + first + count, tail, rest * sizeof(Entry));
    parent.n = first + count + rest;
}

// Builds the run of entries of two neighbours, left then right.
unsigned Join(const Node &l, const Node &r, Entry *seq) {
    VR_ASSERT(l.n + r.n <= kSeqMax);
    std::memcpy(seq, l.e, l.n * sizeof(Entry));
    std::memcpy(seq + l.n, r.e, r.n * sizeof(Entry));
    return l.n + r.n;
}

// Shares the entries of the node and its neighbour at sibIdx between the
// two. With merge, first tries to put everything into the neighbour.
uint32_t Share(Ctx &c, unsigned d, Node &nd, Node &parent, unsigned sib_idx, bool merge) {
    unsigned idx = c.path[d].idx;
    Node sib;
    uint32_t rc = LoadChild(c, parent, sib_idx, nd.type, sib);
    if (rc) return rc;
    bool node_left = idx < sib_idx;
    const Node &l = node_left ? nd : sib;
    const Node &r = node_left ? sib : nd;
    Entry seq[kSeqMax];
    unsigned n = Join(l, r, seq);
    unsigned first = node_left ? idx : sib_idx;
    if (merge && Fits(seq, 0, n, nd.type)) {
        unsigned pages[1] = {sib.page}, cuts[2] = {0, n};
        rc = Write(c, seq, 0, n, nd.type, sib.page, parent.page);
        if (rc) return rc;
        Respan(parent, first, 2, pages, seq, cuts, 1);
        return Put(c, d - 1, parent);
    }
    unsigned k = CutTwo(seq, n, nd.type);
    if (k == 0) return VRBM_E_NOROOM;
    unsigned pages[2] = {l.page, r.page}, cuts[3] = {0, k, n};
    if ((rc = Write(c, seq, 0, k, nd.type, l.page, parent.page)) ||
        (rc = Write(c, seq, k, n, nd.type, r.page, parent.page)))
        return rc;
    Respan(parent, first, 2, pages, seq, cuts, 2);
    return Put(c, d - 1, parent);
}

// Two neighbours into three: a new node goes between them.
uint32_t Split(Ctx &c, unsigned d, Node &nd, Node &parent) {
    unsigned idx = c.path[d].idx;
    if (parent.n < 2) return VRBM_E_CORRUPT;
    unsigned sib_idx = idx + 1 < parent.n ? idx + 1 : idx - 1;
    Node sib;
    uint32_t rc = LoadChild(c, parent, sib_idx, nd.type, sib);
    if (rc) return rc;
    bool node_left = idx < sib_idx;
    Entry seq[kSeqMax];
    unsigned n = Join(node_left ? nd : sib, node_left ? sib : nd, seq);
    unsigned k1, k2;
    if (!CutThree(seq, n, nd.type, &k1, &k2)) return VRBM_E_NOROOM;
    unsigned m = GetNewPage(c.db, nd.type, parent.page, &rc);
    if (!m) return rc;
    unsigned lp = node_left ? nd.page : sib.page, rp = node_left ? sib.page : nd.page;
    unsigned pages[3] = {lp, m, rp}, cuts[4] = {0, k1, k2, n};
    if ((rc = Write(c, seq, 0, k1, nd.type, lp, parent.page)) ||
        (rc = Write(c, seq, k1, k2, nd.type, m, parent.page)) ||
        (rc = Write(c, seq, k2, n, nd.type, rp, parent.page)))
        return rc;
    LOG_CondMessage(14, "vrbm_wri", __LINE__, "VRBM: split pages %u and %u, new page %u\n", lp, rp,
                    m);
    Respan(parent, node_left ? idx : sib_idx, 2, pages, seq, cuts, 3);
    return Put(c, d - 1, parent);
}

// The root no longer fits: its entries move into two new inner nodes and
// the root keeps just the two. The tree grows by one level.
uint32_t SplitRoot(Ctx &c, Node &root) {
    unsigned k = CutTwo(root.e, root.n, kInner);
    if (k == 0) return VRBM_E_NOROOM;
    uint32_t rc = 0;
    unsigned a = GetNewPage(c.db, kInner, 0, &rc);
    if (!a) return rc;
    unsigned b = GetNewPage(c.db, kInner, 0, &rc);
    if (!b) return rc;
    if ((rc = Write(c, root.e, 0, k, kInner, a, 0)) ||
        (rc = Write(c, root.e, k, root.n, kInner, b, 0)))
        return rc;
    unsigned pages[2] = {a, b}, cuts[3] = {0, k, root.n};
    Entry seq[kNodeMax];
    std::memcpy(seq, root.e, root.n * sizeof(Entry));
    root.n = 0;
    Respan(root, 0, 0, pages, seq, cuts, 2);
    root.e[1].kl = kUnknown;
    LOG_CondMessage(14, "vrbm_wri", __LINE__, "VRBM: root split into pages %u and %u\n", a, b);
    return Write(c, root.e, 0, 2, kRoot, 0, 0);
}

// The root kept a single child: the child's entries move up into the root
// and the tree loses a level.
uint32_t CollapseRoot(Ctx &c, Node &root) {
    Node child;
    uint32_t rc = Load(c, root.e[0].child, nullptr, kUnknown, child);
    if (rc) return rc;
    if (child.type != kInner || child.parent != 0) return VRBM_E_CORRUPT;
    return Write(c, child.e, 0, child.n, kRoot, 0, 0);
}

// Writes back a node changed at level d, restoring the tree's invariants
// on the way up.
uint32_t Put(Ctx &c, unsigned d, Node &nd) {
    bool leaf = IsLeafType(nd.type);
    bool fits = d == 0 ? Fits(nd.e, 0, nd.n, kRoot) : Fits(nd.e, 0, nd.n, nd.type);
    if (d == 0) {
        if (!fits) return SplitRoot(c, nd);
        if (nd.n == 1) return CollapseRoot(c, nd);
        return Write(c, nd.e, 0, nd.n, kRoot, 0, 0);
    }
    bool under = nd.n <= 1 && !(leaf && d == 1 && Page{c.db->page0}.Last() < 2);
    if (fits && !under) {
        uint32_t rc = Write(c, nd.e, 0, nd.n, nd.type, nd.page, nd.parent);
        if (rc) return rc;
        const uint8_t *key;
        uint16_t kl;
        LastKey(nd, &key, &kl);
        const Level &l = c.path[d];
        if (l.sep_len == kUnknown || kl == kUnknown || SameKey(key, kl, l.sep, l.sep_len)) return 0;
        return SetSeparator(c, d, key, kl);
    }
    Node parent;
    uint32_t rc = LoadLevel(c, d - 1, parent);
    if (rc) return rc;
    unsigned idx = c.path[d].idx;
    if (idx >= parent.n || parent.e[idx].child != nd.page) return VRBM_E_NOPARENT;
    // A leaf's separator follows its largest key.
    if (leaf && idx + 1 < parent.n) LastKey(nd, &parent.e[idx].key, &parent.e[idx].kl);
    if (under) {
        if (parent.n < 2) return Write(c, nd.e, 0, nd.n, nd.type, nd.page, nd.parent);
        return Share(c, d, nd, parent, idx == 0 ? 1 : idx - 1, true);
    }
    if (idx + 1 < parent.n) {
        rc = Share(c, d, nd, parent, idx + 1, false);
        if (rc != VRBM_E_NOROOM) return rc;
    }
    if (idx > 0) {
        rc = Share(c, d, nd, parent, idx - 1, false);
        if (rc != VRBM_E_NOROOM) return rc;
    }
    return Split(c, d, nd, parent);
}

// Descends to the leaf where the key belongs, recording the path.
// *found tells whether the key is there, *slot is its index or where it
// goes. An empty tree leaves c.depth at 0.
uint32_t Descend(Ctx &c, const uint8_t *key, unsigned kl, bool *found, unsigned *slot) {
    c.path[0].page = 0;
    c.path[0].idx = 0;
    c.path[0].sep_len = kUnknown;
    c.depth = 0;
    *found = false;
    *slot = 0;
    unsigned last_node = Page{c.db->page0}.Parent();
    for (unsigned d = 0;; d++) {
        uint32_t err = 0;
        uint8_t *b = FetchPage(c.db, c.path[d].page, &err);
        if (!b) return err;
        Page pg{b};
        if (d == 0 && pg.Used() == 0) return 0;
        if (d > 0 && (pg.Type() == kRoot || pg.Parent() != c.path[d - 1].page))
            return VRBM_E_CORRUPT;
        unsigned last = pg.Last(), i = LowerBound(pg, key, kl, found);
        if (pg.IsLeaf()) {
            c.depth = d;
            *slot = i;
            if (d == 0) return VRBM_E_CORRUPT;
            return 0;
        }
        *found = false;
        if (d + 1 > kMaxDepth) return VRBM_E_CORRUPT;
        unsigned child = pg.Child(i);
        if (child == 0 || child > last_node) return VRBM_E_CORRUPT;
        Level &next = c.path[d + 1];
        next.page = child;
        next.idx = i;
        if (i < last) {
            unsigned sl;
            const uint8_t *sk = pg.Key(i, &sl);
            VR_ASSERT(sl <= VRBM_MAX_KEY); // a validated page
            std::memcpy(next.sep, sk, sl);
            next.sep_len = uint16_t(sl);
        } else {
            next.sep_len = c.path[d].sep_len;
            if (next.sep_len != kUnknown) std::memcpy(next.sep, c.path[d].sep, next.sep_len);
        }
    }
}

uint32_t Remove(Ctx &c, const uint8_t *key, unsigned kl) {
    bool found;
    unsigned slot;
    uint32_t rc = Descend(c, key, kl, &found, &slot);
    if (rc) return rc;
    if (!found) {
        LOG_CondMessage(5, "vrbm_wri", __LINE__, "VRBM: RemoveFromTree() : key not found!!\n");
        return VRBM_E_NOTFOUND;
    }
    Node leaf;
    if ((rc = LoadLevel(c, c.depth, leaf))) return rc;
    VR_ASSERT(slot < leaf.n);
    std::memmove(leaf.e + slot, leaf.e + slot + 1, (leaf.n - slot - 1) * sizeof(Entry));
    leaf.n--;
    return Put(c, c.depth, leaf);
}

// The first item of an empty tree: the root gets its key and two leaves,
// the item goes into the left one.
uint32_t StoreFirst(Ctx &c, const uint8_t *key, unsigned kl, const uint8_t *data, unsigned dl) {
    if (Page{c.db->page0}.Last() != 0) {
        LOG_CondMessage(5, "vrbm_wri", __LINE__,
                        "VRBM: AddItem(), should be an empty tree, but it's not. "
                        "root.node.last = %lu\n",
                        (unsigned long)Page{c.db->page0}.Last());
        return VRBM_E_INCONSISTENT_EMPTY;
    }
    uint32_t rc = 0;
    unsigned left = GetNewPage(c.db, kLeaf, 0, &rc);
    if (!left) return rc;
    unsigned right = GetNewPage(c.db, kLeaf, 0, &rc);
    if (!right) return rc;
    Entry item{key, uint16_t(kl), data, uint16_t(dl), 0, 0};
    Entry root[2] = {{key, uint16_t(kl), nullptr, 0, uint16_t(left), 0},
                     {nullptr, kUnknown, nullptr, 0, uint16_t(right), 0}};
    if ((rc = Write(c, &item, 0, 1, kLeaf, left, 0))) return rc;
    return Write(c, root, 0, 2, kRoot, 0, 0);
}

} // namespace

uint32_t AddItem(VRBM_Db *db, const uint8_t *key, unsigned kl, const uint8_t *data, unsigned dl,
                 bool replace) {
    Ctx c;
    c.db = db;
    bool found;
    unsigned slot;
    uint32_t rc = Descend(c, key, kl, &found, &slot);
    if (rc) return rc;
    if (found) {
        if (!replace) return VRBM_E_EXISTS;
        if ((rc = Remove(c, key, kl))) return rc;
        if ((rc = Descend(c, key, kl, &found, &slot))) return rc;
    }
    if (c.depth == 0) return StoreFirst(c, key, kl, data, dl);
    Node leaf;
    if ((rc = LoadLevel(c, c.depth, leaf))) return rc;
    if (leaf.type != kLeaf) {
        LOG_CondMessage(5, "vrbm_wri", __LINE__,
                        "VRBM: AddToLeafNode(), invalid node type. nodeType = %d\n", leaf.type);
        return VRBM_E_NODETYPE;
    }
    VR_ASSERT(slot <= leaf.n && leaf.n < kNodeMax);
    std::memmove(leaf.e + slot + 1, leaf.e + slot, (leaf.n - slot) * sizeof(Entry));
    leaf.e[slot] = Entry{key, uint16_t(kl), data, uint16_t(dl), 0, 0};
    leaf.n++;
    return Put(c, c.depth, leaf);
}

uint32_t RemoveItem(VRBM_Db *db, const uint8_t *key, unsigned kl) {
    Ctx c;
    c.db = db;
    return Remove(c, key, kl);
}

} // namespace vrcore::btree
