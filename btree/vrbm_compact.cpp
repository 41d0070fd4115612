// Offline compaction. Pages dropped by merges are never reused, so a file
// that has seen many deletes carries pages nothing reaches. Compaction
// copies the reachable pages into a new file, renumbered level by level
// in key order (each child's number and parent link follow), leaves every
// other byte of every page as it was, and puts the new file in place the
// way a rewrite that survives a crash does: written and synced under a
// temporary name, checked, then renamed over the old file.
//
// It never races a writer: every handle that writes holds a shared flock
// on the file while open, and compaction takes it exclusively without
// waiting, refusing when a writer has the file open.
#include "btree/vrbm_internal.h"
#include "system/fileio.h"

#include "vrcore/fa.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrcore::btree {

namespace {

namespace fileio = vrcore::system::fileio;

std::string Native(const std::string &file) {
    char *native = nullptr;
    size_t len = 0;
    if (FA_ConvertFilePath(file.c_str(), file.size() + 1, &native, &len) != 0) return file;
    std::string s = native;
    FA_FreeFilePath(native);
    return s;
}

// The reachable pages of a checked tree, renumbered level by level:
// image of page k at k * kPageSize. Empty when a page cannot be read.
std::string Renumber(VRBM_Db *db) {
    unsigned last = Page{db->page0}.Parent();
    std::string out(kPageSize, '\0');
    out.reserve((size_t(last) + 1) * kPageSize);
    std::memcpy(out.data(), db->page0, kPageSize);
    auto at = [&](unsigned k) { return reinterpret_cast<uint8_t *>(out.data()) + k * kPageSize; };
    if (Page{at(0)}.Used() == 0) { // an empty tree keeps no child
        for (unsigned i = 0; i <= kMaxEntries; i++) Page{at(0)}.SetChild(i, 0);
        Page{at(0)}.SetParent(0);
        return out;
    }
    unsigned pages = 1;
    for (unsigned k = 0; k < pages; k++) {
        if (Page{at(k)}.IsLeaf()) continue;
        for (unsigned i = 0; i <= Page{at(k)}.Last(); i++) {
            uint32_t err = 0;
            const uint8_t *child = FetchPage(db, Page{at(k)}.Child(i), &err);
            if (!child || pages > last) return {};
            out.append(reinterpret_cast<const char *>(child), kPageSize);
            Page c{at(pages)};
            c.ResetDirty();
            c.SetId(pages);
            c.SetParent(k);
            Page{at(k)}.SetChild(i, pages++);
        }
    }
    Page{at(0)}.SetParent(pages - 1); // the last page number
    return out;
}

std::string KiB(uint64_t bytes) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llu KiB", (unsigned long long)((bytes + 1023) / 1024));
    return buf;
}

} // namespace

int CompactFile(const std::string &path, std::string *out) {
    std::string base = path;
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".dbm") == 0)
        base.resize(base.size() - 4);
    const std::string name = base + ".dbm: ", file = Native(base + ".dbm");
    const system::seam::Io &io = system::seam::CurrentIo();
    int fd = io.open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd < 0) {
        *out += name + "cannot be opened (" + std::strerror(errno) + ")\n";
        return 2;
    }
    struct Closer {
        int fd;
        ~Closer() { system::seam::CurrentIo().close(fd); } // drops the flock
    } closer{fd};
    int rc = fileio::Lock(fd, system::seam::LockKind::Flock, system::seam::LockMode::Exclusive, 0);
    struct stat held, named;
    if (rc == EWOULDBLOCK ||
        (rc == 0 && (io.fstat(fd, &held) != 0 || io.stat(file.c_str(), &named) != 0 ||
                     held.st_ino != named.st_ino || held.st_dev != named.st_dev))) {
        *out += name + "a writer has it open (or it was just replaced): not compacted\n";
        return 3;
    }
    if (rc != 0) { // without locks a writer could not be kept out
        *out += name + "cannot be locked (" + std::strerror(rc) + "): not compacted\n";
        return 2;
    }
    JournalInfo j;
    VRBM_Db *db = OpenDb(base.c_str(), VRBM_RDONLY, 0, Recovery::kRollBack, &j);
    if (j.state == JournalState::kValid)
        *out += name + "journal of an unfinished write-back: rolled back first\n";
    if (!db) {
        *out += name + "cannot be opened as a database (" + std::strerror(errno) + ")\n";
        return 2;
    }
    unsigned long items = 0;
    std::string fault = CheckTree(db, nullptr, &items);
    std::string image = fault.empty() ? Renumber(db) : std::string();
    VRBM_close(db);
    if (io.fstat(fd, &held) != 0) held.st_size = 0; // as a roll back left it
    if (!fault.empty() || image.empty()) {
        *out += name + (fault.empty() ? "a page cannot be read" : fault) + ": not compacted\n";
        return 1;
    }
    uint64_t before = uint64_t(held.st_size), after = image.size();
    std::string sizes = KiB(before) + " to " + KiB(after);
    if (after == before) {
        *out += name + "nothing to reclaim, " + std::to_string(items) + " items\n";
        return 0;
    }
    // Written and synced under a temporary name, checked, then renamed.
    size_t cut = base.rfind('/') + 1; // 0 without a directory
    std::string temp_base = base.substr(0, cut) + "." + base.substr(cut) + "-compact";
    std::string temp = Native(temp_base + ".dbm");
    fileio::NewFile how;
    how.mode = int(held.st_mode & 07777);
    how.uid = held.st_uid;
    how.gid = held.st_gid;
    fileio::Result w = fileio::WriteFile(temp, image, how);
    if (w.err) {
        *out += name + "cannot write " + temp + " (" + std::strerror(w.err) + "): not compacted\n";
        return 2;
    }
    VRBM_Db *t = OpenDb(temp_base.c_str(), VRBM_RDONLY, 0, Recovery::kInMemory, nullptr);
    unsigned long check_items = 0;
    fault = t ? CheckTree(t, nullptr, &check_items) : "cannot be opened";
    VRBM_close(t);
    if (fault.empty() && check_items != items) fault = "items lost";
    if (!fault.empty() || io.rename(temp.c_str(), file.c_str()) != 0) {
        int e = errno;
        io.unlink(temp.c_str());
        *out += name + "the compacted file " + (fault.empty() ? std::strerror(e) : fault) +
                ": not compacted\n";
        return fault.empty() ? 2 : 1;
    }
    if (io.sync_dir(file.c_str()) != 0) {
        *out += name + "compacted, but the directory could not be synced (" + std::strerror(errno) +
                ")\n";
        return 2;
    }
    *out += name + "compacted from " + sizes + ", " + std::to_string(image.size() / kPageSize) +
            " pages, " + std::to_string(items) + " items\n";
    return 0;
}

} // namespace vrcore::btree
