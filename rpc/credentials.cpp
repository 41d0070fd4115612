// The authentication file and the user file.
#include "rpc/credentials.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "rpc/rpc_status.h"
#include "system/config.h"
#include "system/fileio.h"
#include "system/seam.h"
#include "vrcore/log.h"

namespace vrcore::rpc {
namespace {

using system::fileio::TrimBlanks;

namespace seam = vrcore::system::seam;

constexpr const char *kSource = "rpc_credentials";
constexpr const char *kKey = "Software\\Halvane\\Tessaril\\odp";
constexpr size_t kMaxFile = 1 << 20;

uint32_t Refuse(const std::string &path, uint32_t status, const char *why, size_t line = 0) {
    if (line)
        LOG_CondMessage(2, kSource, __LINE__, "%s refused: line %zu: %s\n", path.c_str(), line,
                        why);
    else
        LOG_CondMessage(2, kSource, __LINE__, "%s refused: %s\n", path.c_str(), why);
    return status;
}

// The text of a file only its owner, the effective user, may read or write.
uint32_t ReadPrivate(const std::string &path, std::string *text) {
    const seam::Io &io = seam::CurrentIo();
    int fd = io.open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0);
    if (fd < 0) {
        int err = errno;
        return Refuse(path, err == ENOENT ? kFileNotFound : kAccessDenied, strerror(err));
    }
    struct stat st {};
    uint32_t rc = kOk;
    if (io.fstat(fd, &st) != 0) {
        rc = Refuse(path, kAccessDenied, strerror(errno));
    } else if (!S_ISREG(st.st_mode)) {
        rc = Refuse(path, kAccessDenied, "not a regular file");
    } else if (st.st_uid != geteuid()) {
        rc = Refuse(path, kAccessDenied, "not owned by the user running the program");
    } else if (st.st_mode & (S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH)) {
        rc = Refuse(path, kAccessDenied,
                    "the group or others may read or write it (mode 0600 needed)");
    } else if (int err = system::fileio::ReadAll(fd, *text, kMaxFile, io)) {
        rc = err == ENOMEM
                 ? kOutOfMemory
                 : Refuse(path, err == EFBIG ? kInvalidData : kAccessDenied, strerror(err));
    }
    io.close(fd);
    return rc;
}

// Calls `line` with each line that is neither blank nor a comment, and its
// number, until it returns a status other than kOk.
template <class F> uint32_t ForEachLine(std::string_view text, F &&line) {
    size_t number = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view l = TrimBlanks(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        if (l.empty() || l.front() == '#') continue;
        if (uint32_t rc = line(l, number)) return rc;
    }
    return kOk;
}

bool SameWord(std::string_view a, const char *b) {
    return a.size() == strlen(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

uint32_t ReadAuthFile(const std::string &path, NtlmIdentity *out) try {
    std::string text;
    if (uint32_t rc = ReadPrivate(path, &text)) return rc;
    NtlmIdentity id;
    bool has_user = false;
    uint32_t rc = ForEachLine(text, [&](std::string_view l, size_t number) {
        size_t eq = l.find('=');
        if (eq == std::string_view::npos) return Refuse(path, kInvalidData, "no \"=\"", number);
        std::string_view name = TrimBlanks(l.substr(0, eq)), value = TrimBlanks(l.substr(eq + 1));
        if (SameWord(name, "username")) {
            id.user = value;
            has_user = true;
        } else if (SameWord(name, "password")) {
            id.password = value;
        } else if (SameWord(name, "domain")) {
            id.domain = value;
        }
        return kOk;
    });
    if (rc == kOk && (!has_user || id.user.empty()))
        rc = Refuse(path, kInvalidData, "no user name");
    if (rc == kOk) *out = std::move(id);
    return rc;
} catch (const std::bad_alloc &) {
    return kOutOfMemory;
}

uint32_t DefaultIdentity(NtlmIdentity *out) try {
    std::string path;
    if (const char *env = getenv("VRCORE_CREDENTIALS"); env && *env)
        path = env;
    else
        path = system::cfg::Registry().GetString(kKey, "CredentialsFile", "");
    if (path.empty()) {
        *out = NtlmIdentity();
        return kOk;
    }
    return ReadAuthFile(path, out);
} catch (const std::bad_alloc &) {
    return kOutOfMemory;
}

uint32_t ReadUserFile(const std::string &path, NtlmUserTable *out) try {
    std::string text;
    if (uint32_t rc = ReadPrivate(path, &text)) return rc;
    NtlmUserTable table;
    uint32_t rc = ForEachLine(text, [&](std::string_view l, size_t number) {
        size_t colon = l.rfind(':');
        if (colon == std::string_view::npos) return Refuse(path, kInvalidData, "no \":\"", number);
        std::string_view who = TrimBlanks(l.substr(0, colon)),
                         hex = TrimBlanks(l.substr(colon + 1));
        NtlmUser u;
        size_t slash = who.find('\\');
        if (slash != std::string_view::npos) {
            u.domain = TrimBlanks(who.substr(0, slash));
            who = TrimBlanks(who.substr(slash + 1));
        }
        u.name = who;
        if (u.name.empty() || (slash != std::string_view::npos && u.domain.empty()))
            return Refuse(path, kInvalidData, "an empty user or domain name", number);
        if (hex.size() != 32)
            return Refuse(path, kInvalidData, "the hash is not 32 hex digits", number);
        for (size_t i = 0; i < 16; ++i) {
            int hi = Hex(hex[2 * i]), lo = Hex(hex[2 * i + 1]);
            if (hi < 0 || lo < 0)
                return Refuse(path, kInvalidData, "the hash is not 32 hex digits", number);
            u.nt_hash[i] = static_cast<uint8_t>(hi << 4 | lo);
        }
        table.Add(std::move(u));
        return kOk;
    });
    if (rc == kOk) *out = std::move(table);
    return rc;
} catch (const std::bad_alloc &) {
    return kOutOfMemory;
}

} // namespace vrcore::rpc
