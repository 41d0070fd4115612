// DPA address records: the line of text, kept under "paddr", "saddr" or
// "qaddr" of a printer record, that says where an object's server is
// called: host, program number, version, authentication flavour, class
// code, server name and the dynamic flag.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vrcore::nameservice::onc {

// The program number a dynamic record carries: the real one is registered
// with the PTS service on the record's host.
constexpr int32_t kPtsProgram = 105004;

struct Address {
    std::string host;
    int32_t program = 0;
    int32_t version = 0;
    int32_t auth = 0; // flavour index
    int32_t cls = 0;  // object class, read back from its class code
    std::string server;
    int32_t dynamic = 0;
};

// The attribute key of a class 0..7 ("paddr", "saddr", "qaddr"), else null.
const char *KeyOfClass(int32_t cls);
// The text of an address; its class is written as its class code.
std::string FormatAddress(const Address &a);
// Reads the text: exactly seven comma-separated fields, decimal numbers that
// fit an int (anything else is refused), flavour and class by the first
// matching name (0 when none matches).
bool ParseAddress(std::string_view text, Address &out);
// The class a class 0..7 reads back as (2 reads as 0, 5 as 3).
int32_t StoredClass(int32_t cls);
// Object names hold letters, digits, "-" and "_" only.
bool ValidObjectName(std::string_view name);

} // namespace vrcore::nameservice::onc
