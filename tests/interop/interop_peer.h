// The peer codec: its type descriptors by name, a decode-and-re-encode
// pass, and the tables that name the PDUs of each side.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <asn_application.h>
}

namespace interop {

using Bytes = std::vector<unsigned char>;

// Declares the peer's descriptor of each type of a list and maps the
// type's name to it.
#define INTEROP_DECLARE(T) extern "C" asn_TYPE_descriptor_t asn_DEF_##T;
#define INTEROP_ENTRY(T) {#T, &asn_DEF_##T},
#define INTEROP_PEER_MAP(LIST)                                                                     \
    LIST(INTEROP_DECLARE)                                                                          \
    const std::map<std::string, asn_TYPE_descriptor_t *> kPeer = {LIST(INTEROP_ENTRY)};

inline int Collect(const void *buffer, size_t size, void *key) {
    auto *out = static_cast<Bytes *>(key);
    const auto *p = static_cast<const unsigned char *>(buffer);
    out->insert(out->end(), p, p + size);
    return 0;
}

// The peer decodes all of `in` and encodes it again in DER; failures name `what`.
inline Bytes PeerReencode(asn_TYPE_descriptor_t *def, const unsigned char *in, size_t n,
                          const std::string &what) {
    void *peer = nullptr;
    asn_dec_rval_t dr = ber_decode(nullptr, def, &peer, in, n);
    EXPECT_TRUE(dr.code == RC_OK && dr.consumed == n) << what;
    Bytes out;
    if (dr.code == RC_OK) {
        EXPECT_NE(der_encode(def, peer, Collect, &out).encoded, -1) << what;
    }
    ASN_STRUCT_FREE(*def, peer);
    return out;
}

// The rows of a table of asn/ by PDU number: the words after the number
// (the type's name, and for values the syntax), without comments.
inline std::map<int, std::vector<std::string>> ReadTable(const char *name) {
    std::ifstream in(std::string(VRCORE_SOURCE_DIR) + "/asn/" + name);
    std::map<int, std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        std::istringstream s(line);
        std::string number;
        if (line.empty() || line[0] == '#' || !(s >> number)) continue;
        auto &row = rows[std::stoi(number)];
        for (std::string w; s >> w;) row.push_back(w);
    }
    return rows;
}

} // namespace interop
