// Access-control entries inside the syntax module.
#pragma once

#include "vrcore/genu.h"

namespace vrcore::syntax {

// Short identifiers of the name syntaxes an entry's domain may have.
constexpr GENU_ShortOID kSyntaxNis = 3044;
constexpr GENU_ShortOID kSyntaxDns = 3045;
constexpr GENU_ShortOID kSyntaxFile = 3047;
constexpr GENU_ShortOID kSyntaxNisPlus = 3048;
constexpr GENU_ShortOID kSyntaxWin95 = 3049;
constexpr GENU_ShortOID kSyntaxWinNT = 3050;
constexpr GENU_ShortOID kSyntaxNtSecurity = 3051;
constexpr GENU_ShortOID kSyntaxAny = 3055;

// GENU_eACLFromText with the entry (and the working copy of the text) made
// with the allocator given.
int EACLFromText(STF_List *status, GEN_ExtACL **out, const char *text, const GENU_Allocator *alloc);

} // namespace vrcore::syntax
