// A thread's code-set conversion context: the two code sets and a
// converter for each direction. Shared by the conversion functions and the
// locale module that configures contexts.
#pragma once

#include <iconv.h>

#include "vrcore/iconv.h"

struct ICONV_Context {
    GENU_ShortOID local;
    GENU_ShortOID peer;
    iconv_t to_peer;
    iconv_t from_peer;
};

namespace vrcore::i18n {
// The calling thread's context, or null; the thread keeps it.
ICONV_Context *Current();
// Opens a context with converters both ways between two code sets named as
// iconv_open knows them. 0 with *out set; EINVAL when the pair is not
// supported; another errno for any other failure.
int Open(const char *local_name, GENU_ShortOID local, const char *peer_name, GENU_ShortOID peer,
         ICONV_Context **out);
} // namespace vrcore::i18n
