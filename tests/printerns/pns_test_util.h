// Scratch files and an environment that points the printer service at them.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scratch.h"
#include "vrcore/nsp.h"

namespace pnstest {

using vrtest::InChild;
using vrtest::ReadFile;
using vrtest::WriteFile;

// A scratch directory holding the printers file, the user file (through
// HOME) and the configuration directory (windir); the registry file points
// nowhere. Everything is put back and removed afterwards.
class Env : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string t = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/vrpns.XXXXXX";
        ASSERT_NE(mkdtemp(t.data()), nullptr);
        dir = t;
        etc = dir + "/printers.cnf";
        user = dir + "/printers.usr";
        for (const char *v : {"PRINTERS_CONF", "HOME", "HOMEDRIVE", "HOMEPATH", "windir", "VRCORE_REGISTRY",
                              "PRINTER", "LPDEST"}) {
            const char *old = std::getenv(v);
            saved.emplace_back(v, old ? std::optional<std::string>(old) : std::nullopt);
            unsetenv(v);
        }
        setenv("PRINTERS_CONF", etc.c_str(), 1);
        setenv("HOME", dir.c_str(), 1);
        setenv("windir", dir.c_str(), 1);
        setenv("VRCORE_REGISTRY", (dir + "/none.reg").c_str(), 1);
    }
    void TearDown() override {
        for (auto &[k, v] : saved) {
            if (v)
                setenv(k.c_str(), v->c_str(), 1);
            else
                unsetenv(k.c_str());
        }
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    std::string dir, etc, user;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

// "<prefix><n>" (built this way to keep the compiler's overlap warning quiet).
inline std::string numbered(const char *prefix, int n) {
    std::string s = prefix;
    s.append(std::to_string(n));
    return s;
}

// Frees a list of records.
inline void free_records(ns_printer_t **list) {
    if (!list) return;
    for (size_t i = 0; list[i]; ++i) ns_printer_destroy(list[i]);
    free(list);
}

inline std::vector<std::string> names_of(ns_printer_t **list) {
    std::vector<std::string> out;
    for (size_t i = 0; list && list[i]; ++i) out.push_back(list[i]->name);
    return out;
}

// The text form of a key of a record looked up by name ("" when absent).
inline std::string value_of(const char *name, const char *key, const char *service = nullptr) {
    ns_printer_t *p = ns_printer_get_name(name, service);
    if (!p) return "<no record>";
    char *s = ns_get_value_string(key, p);
    std::string out = s ? s : "";
    free(s);
    ns_printer_destroy(p);
    return out;
}

// A record of a source with attributes given as text.
inline ns_printer_t *make(const char *name, const char *source,
                          std::vector<std::pair<const char *, const char *>> attrs = {}) {
    ns_printer_t *p = ns_printer_create(strdup(name), nullptr, const_cast<char *>(source), nullptr);
    for (auto &[k, v] : attrs) EXPECT_EQ(ns_set_value_from_string(k, v, p), 0);
    return p;
}

} // namespace pnstest
