// Text forms of values used inside the syntax module: the printable-string
// escapes of mail addresses and the token scanner of access-control text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vrcore/gen.h"

namespace vrcore::syntax {

// ---- Printable-string escapes -------------------------------------------

// Characters of the printable form of one text character: at most "(127)".
constexpr size_t kEscapeMax = 5;

// The printable form of `text` (NUL-terminated) into out[0..cap), NUL
// included. Returns the length written, or -1 when a character is at or
// above 128, or -2 when the result (with its NUL) does not fit in cap.
long EncodePrintable(const char *text, char *out, size_t cap);

// Decodes n bytes of a printable string (no NUL needed; none is read past
// n) into out, which must hold n + 1 bytes; out is NUL-terminated. A
// string holding anything that is not a known escape after "(" is given
// back exactly as it stands. Returns the decoded length.
size_t DecodePrintable(const char *in, size_t n, char *out);

// The decoded mail address of the first domain-defined attribute of an
// O/R name whose type is type1 or type2 (type2 may be null), into out
// (NUL-terminated, room for the 128 characters of a value). Returns 0, or
// GEN_S_NOTSUPP when there is no such attribute, GEN_S_INVALID when the
// list cannot be read.
uint32_t MailAddressOf(const GEN_DeliveryAddress &orname, const char *type1, const char *type2,
                       char (&out)[130]);
constexpr const char *kInternetMail = "RFC-822";
constexpr const char *kMsMail = "MS-Mail";

} // namespace vrcore::syntax
