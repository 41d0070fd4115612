// Text forms of values used inside the syntax module: the printable-string
// escapes of mail addresses and the token scanner of access-control text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vrsyn {

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

} // namespace vrsyn
