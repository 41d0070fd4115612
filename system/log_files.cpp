// Log file families: time-stamped names and trimming to the number of
// files to keep.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "system/log_internal.h"

namespace vrcore::log {

void FormatStamp(char out[12], time_t when) {
    struct tm tm {};
    localtime_r(&when, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d%02d-%02d%02d%02d", tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                  tm.tm_min, tm.tm_sec);
    std::memcpy(out, buf, 11);
    out[11] = '\0';
}

bool MatchesStamp(const char *s) {
    // Pairs of (lowest, highest) character allowed at each position.
    static const char kPattern[] = "01090309--020905090509--090909";
    for (size_t i = 0; i + 1 < sizeof kPattern; i += 2) {
        char c = *s++;
        if (c == '\0' || c < kPattern[i] || c > kPattern[i + 1]) return false;
    }
    return *s == '\0';
}

bool OlderLog(time_t ta, const char *a, time_t tb, const char *b) {
    if (ta != tb) return ta < tb;
    // Within one second, December's files come before January's.
    bool a_dec = std::strncmp(a, "12", 2) == 0, b_dec = std::strncmp(b, "12", 2) == 0;
    bool a_jan = std::strncmp(a, "01", 2) == 0, b_jan = std::strncmp(b, "01", 2) == 0;
    if (a_dec && b_jan) return true;
    if (a_jan && b_dec) return false;
    return std::strcmp(a, b) < 0;
}

void TrimLogs(const char *base_path, int keep, const char *current) {
    if (keep <= 0 || base_path == nullptr || *base_path == '\0') return;
    struct Candidate {
        std::string name;
        time_t mtime;
        size_t stamp; // offset of the stamp in name
    };
    try {
        std::string path(base_path);
        std::replace(path.begin(), path.end(), '\\', '/');
        size_t slash = path.rfind('/');
        std::string dir, base;
        if (slash == std::string::npos) {
            dir = ".";
            base = path;
        } else {
            dir = slash == 0 ? "/" : path.substr(0, slash);
            base = path.substr(slash + 1);
        }
        std::string cur(current ? current : "");
        std::replace(cur.begin(), cur.end(), '\\', '/');

        DIR *d = opendir(dir.c_str());
        if (d == nullptr) return;
        std::vector<Candidate> logs;
        std::vector<Candidate> others; // the current file, counted but kept
        while (struct dirent *e = readdir(d)) {
            const char *name = e->d_name;
            if (std::strncmp(name, base.c_str(), base.size()) != 0) continue;
            if (name[base.size()] == '\0' || !MatchesStamp(name + base.size() + 1)) continue;
            std::string full = dir;
            if (full.back() != '/') full.push_back('/');
            full.append(name);
            struct stat sb;
            if (stat(full.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode)) continue;
            Candidate c{std::move(full), sb.st_mtime, 0};
            c.stamp = c.name.size() - 15;
            (cur == c.name ? others : logs).push_back(std::move(c));
        }
        closedir(d);
        size_t total = logs.size() + others.size();
        if (total <= static_cast<size_t>(keep)) return;
        // (Pointers rather than iterators: iterator comparison would leave a
        // library-internal symbol among the exported ones.)
        std::sort(logs.data(), logs.data() + logs.size(),
                  [](const Candidate &x, const Candidate &y) {
                      return OlderLog(x.mtime, x.name.c_str() + x.stamp, y.mtime,
                                      y.name.c_str() + y.stamp);
                  });
        size_t excess = std::min(total - static_cast<size_t>(keep), logs.size());
        for (size_t i = 0; i < excess; ++i) unlink(logs[i].name.c_str());
    } catch (const std::bad_alloc &) {
        // Trimming is retried when the next file is opened.
    }
}

} // namespace vrcore::log
