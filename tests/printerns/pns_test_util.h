// Scratch files and an environment that points the printer service at them.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
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
// nowhere. Every variable set through Set is put back afterwards.
class Env : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char *v : {"HOMEDRIVE", "HOMEPATH", "PRINTER", "LPDEST"}) Set(v, nullptr);
        Set("PRINTERS_CONF", etc.c_str());
        Set("HOME", dir.c_str());
        Set("windir", dir.c_str());
        Set("VRCORE_REGISTRY", (dir + "/none.reg").c_str());
    }
    void TearDown() override {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it)
            it->second ? setenv(it->first.c_str(), it->second->c_str(), 1)
                       : unsetenv(it->first.c_str());
    }
    // Sets a variable, or unsets it when `value` is null.
    void Set(const char *name, const char *value) {
        const char *old = std::getenv(name);
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        value ? setenv(name, value, 1) : unsetenv(name);
    }

    vrtest::ScratchDir scratch{"vrpns"};
    std::string dir = scratch.Path(), etc = dir + "/printers.cnf", user = dir + "/printers.usr";
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

// "<prefix><n>" (built this way to keep the compiler's overlap warning quiet).
inline std::string Numbered(const char *prefix, int n) {
    return std::string(prefix).append(std::to_string(n));
}

// The names of a list of records, which is released.
inline std::vector<std::string> NamesOf(ns_printer_t **list) {
    std::vector<std::string> out;
    for (size_t i = 0; list && list[i]; ++i) {
        out.push_back(list[i]->name);
        ns_printer_destroy(list[i]);
    }
    free(list);
    return out;
}

// The text form of a key of a record looked up by name ("" when absent).
inline std::string ValueOf(const char *name, const char *key, const char *service = nullptr) {
    ns_printer_t *p = ns_printer_get_name(name, service);
    if (!p) return "<no record>";
    char *s = ns_get_value_string(key, p);
    std::string out = s ? s : "";
    free(s);
    ns_printer_destroy(p);
    return out;
}

// A record of a source with attributes given as text.
inline ns_printer_t *Make(const char *name, const char *source,
                          std::vector<std::pair<const char *, const char *>> attrs = {}) {
    ns_printer_t *p = ns_printer_create(strdup(name), nullptr, const_cast<char *>(source), nullptr);
    for (auto &[k, v] : attrs) EXPECT_EQ(ns_set_value_from_string(k, v, p), 0);
    return p;
}

// Writes a record made by `make`: ns_printer_put's result.
inline int Put(const char *name, const char *source,
               std::vector<std::pair<const char *, const char *>> attrs = {}) {
    ns_printer_t *p = Make(name, source, std::move(attrs));
    int rc = ns_printer_put(p);
    ns_printer_destroy(p);
    return rc;
}

} // namespace pnstest
