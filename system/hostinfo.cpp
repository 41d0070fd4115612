// The host's identity: user, computer name, domains and LAN group.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <netdb.h>
#include <new>
#include <pwd.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "system/config.h"

namespace vrcore::system::cfg {
namespace {

int RawHostName(std::string &out) {
    char buf[256];
    if (gethostname(buf, sizeof buf) != 0) return errno;
    buf[sizeof buf - 1] = '\0';
    if (!*buf) return ENOENT;
    out = buf;
    return 0;
}

// The resolution of the host's own name is done once per process: it may
// wait on the network, and the answer does not change under a program.
std::mutex g_official_mutex;
bool g_official_done = false;
std::string g_official;

template <class F> int Guarded(F &&f) {
    try {
        return f();
    } catch (const std::bad_alloc &) {
        return ENOMEM;
    }
}

} // namespace

int HostUserName(std::string &out) {
    return Guarded([&] {
        long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buf(hint > 0 ? static_cast<size_t>(hint) : 4096);
        for (;;) {
            struct passwd pw, *res = nullptr;
            int rc = getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &res);
            if (rc == ERANGE && buf.size() < (1u << 20)) {
                buf.resize(buf.size() * 2);
                continue;
            }
            if (rc != 0) return rc;
            if (!res || !res->pw_name || !*res->pw_name) return ENOENT;
            out = res->pw_name;
            return 0;
        }
    });
}

int HostComputerName(std::string &out) {
    return Guarded([&] {
        std::string h;
        if (int rc = RawHostName(h)) return rc;
        out = h.substr(0, h.find('.'));
        return out.empty() ? ENOENT : 0;
    });
}

int HostOfficialName(std::string &out) {
    return Guarded([&] {
        std::lock_guard<std::mutex> g(g_official_mutex);
        if (!g_official_done) {
            std::string h;
            if (int rc = RawHostName(h)) return rc;
            std::string official = h;
            struct addrinfo hints {};
            hints.ai_flags = AI_CANONNAME;
            hints.ai_socktype = SOCK_STREAM;
            struct addrinfo *ai = nullptr;
            if (getaddrinfo(h.c_str(), nullptr, &hints, &ai) == 0) {
                if (ai && ai->ai_canonname && *ai->ai_canonname) official = ai->ai_canonname;
                freeaddrinfo(ai);
            }
            g_official = std::move(official);
            g_official_done = true;
        }
        out = g_official;
        return 0;
    });
}

int HostNisDomain(std::string &out) {
    return Guarded([&] {
        char buf[256];
        if (getdomainname(buf, sizeof buf) != 0) return errno;
        buf[sizeof buf - 1] = '\0';
        if (!*buf || std::strcmp(buf, "(none)") == 0) return ENOENT;
        out = buf;
        return 0;
    });
}

int HostDnsDomain(std::string &out) {
    return Guarded([&] {
        std::string name;
        if (HostOfficialName(name) == 0) {
            size_t dot = name.find('.');
            if (dot != std::string::npos && dot + 1 < name.size()) {
                out = name.substr(dot + 1);
                return 0;
            }
        }
        std::ifstream in("/etc/resolv.conf");
        std::string line, domain, search;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string word, value;
            words >> word >> value;
            if (value.empty()) continue;
            if (word == "domain")
                domain = value;
            else if (word == "search" && search.empty())
                search = value;
        }
        std::string d = !domain.empty() ? domain : search;
        while (!d.empty() && d.back() == '.') d.pop_back();
        if (d.empty()) return ENOENT;
        out = d;
        return 0;
    });
}

int HostLanGroup(std::string &out) {
    return Guarded([&] {
        std::string g = Registry().GetString("Software\\Halvane\\Tessaril", "LanGroup", "");
        if (!g.empty()) {
            out = g;
            return 0;
        }
        if (HostNisDomain(out) == 0) return 0;
        return HostDnsDomain(out) == 0 ? 0 : ENOENT;
    });
}

} // namespace vrcore::system::cfg
