// The registry's lookup caches: by name, by value and by short identifier,
// each at most 73 entries, the least recently used entry reused when full.
// An entry is found through an ordered map of its key and kept on a
// recency list; the slots are allocated once, so a hit allocates nothing.
#include <atomic>
#include <map>
#include <new>
#include <vector>

#include "oid/registry_internal.h"

namespace vrcore::oid {
namespace {

using Index = std::map<std::string_view, int, std::less<>>; // views of slot keys

struct Slot {
    std::string key;
    CacheValue value;
    Index::iterator pos;      // the slot's entry in the index
    int prev = -1, next = -1; // recency list: head is the most recent
};

class Cache {
  public:
    bool Get(std::string_view key, CacheValue &out) {
        std::lock_guard lk(mu_);
        auto it = index_.find(key);
        if (it == index_.end()) return false;
        int i = it->second;
        out.name.assign(slots_[i].value.name);
        out.binary.assign(slots_[i].value.binary);
        out.chars = slots_[i].value.chars;
        Touch(i);
        return true;
    }

    void Put(std::string_view key, const CacheValue &v) {
        std::lock_guard lk(mu_);
        try {
            if (slots_.empty()) slots_.resize(kCacheSize);
            auto it = index_.find(key);
            int i;
            if (it != index_.end()) {
                i = it->second;
            } else {
                if (used_ >= kCacheSize) { // reuse the least recently used
                    i = tail_;
                    // Its map node too: a full cache allocates nothing.
                    auto node = index_.extract(slots_[i].pos);
                    Unlink(i);
                    slots_[i].key.assign(key);
                    node.key() = slots_[i].key;
                    slots_[i].pos = index_.insert(std::move(node)).position;
                } else {
                    i = int(used_++);
                    slots_[i].key.assign(key);
                    slots_[i].pos = index_.emplace(slots_[i].key, i).first;
                }
                Link(i);
            }
            slots_[i].value.name.assign(v.name);
            slots_[i].value.binary.assign(v.binary);
            slots_[i].value.chars = v.chars;
            Touch(i);
        } catch (const std::bad_alloc &) {
            ClearLocked(); // a cache is only a help: start again empty
        }
    }

    void Clear() {
        std::lock_guard lk(mu_);
        ClearLocked();
    }

    unsigned Count() {
        std::lock_guard lk(mu_);
        return static_cast<unsigned>(index_.size());
    }

  private:
    void ClearLocked() {
        index_.clear();
        used_ = 0;
        head_ = tail_ = -1;
    }
    void Unlink(int i) {
        Slot &s = slots_[i];
        if (s.prev >= 0)
            slots_[s.prev].next = s.next;
        else
            head_ = s.next;
        if (s.next >= 0)
            slots_[s.next].prev = s.prev;
        else
            tail_ = s.prev;
        s.prev = s.next = -1;
    }
    void Link(int i) { // at the head
        slots_[i].prev = -1;
        slots_[i].next = head_;
        if (head_ >= 0) slots_[head_].prev = i;
        head_ = i;
        if (tail_ < 0) tail_ = i;
    }
    void Touch(int i) {
        if (head_ == i) return;
        Unlink(i);
        Link(i);
    }

    std::mutex mu_;
    std::vector<Slot> slots_;
    Index index_;
    unsigned used_ = 0;
    int head_ = -1, tail_ = -1;
};

Cache g_caches[3];
std::atomic<bool> g_enabled{true};

} // namespace

void SetCachesEnabled(bool on) { g_enabled = on; }
bool CachesEnabled() { return g_enabled; }

bool CacheGet(CacheKind kind, std::string_view key, CacheValue &out) {
    if (!g_enabled) return false;
    try {
        return g_caches[int(kind)].Get(key, out);
    } catch (const std::bad_alloc &) {
        return false; // the caller's strings could not hold the entry
    }
}

void CachePut(CacheKind kind, std::string_view key, const CacheValue &v) {
    if (g_enabled) g_caches[int(kind)].Put(key, v);
}

void CacheClearAll() {
    for (Cache &c : g_caches) c.Clear();
}

unsigned CacheCount(CacheKind kind) { return g_caches[int(kind)].Count(); }

} // namespace vrcore::oid
