/* vrcore value syntaxes: mail addresses carried in O/R names. */
#ifndef VRCORE_GEN_MAIL_H
#define VRCORE_GEN_MAIL_H

#include "gen_types.h"

VR_BEGIN_DECLS

/* ---- Mail addresses in O/R names --------------------------------------
 * An Internet ("RFC-822") or MS Mail ("MS-Mail") address travels in an O/R
 * name as a domain-defined attribute of that type (letter case ignored)
 * whose value is the address as a printable string: letters, digits and
 * "." stand as they are, "@" ! ( % " ) _ become (a) (b) (l) (p) (q) (r)
 * (u), any other character below 128 becomes "(code)" in decimal.
 * Decoding turns the escapes back (letters in either case, codes 1..127);
 * a value holding anything else after "(" is taken as it stands. */

/* *out (NULL first) receives the decoded address of the first attribute of
 * the type, made with the allocator. No attribute list or no such
 * attribute: GEN_S_NOTSUPP; out of memory: GEN_S_INVALID over GEN_S_NOMEM;
 * a value or type without its NUL: GEN_S_INVALID. */
VR_EXPORT int GEN_X400ToInternetMailAddress(STF_List *status, char **out,
                                            const GEN_DeliveryAddress *orname,
                                            const GENU_Allocator *alloc);
VR_EXPORT int GEN_X400ToMSMailAddress(STF_List *status, char **out,
                                      const GEN_DeliveryAddress *orname,
                                      const GENU_Allocator *alloc);
/* The first attribute of either type. */
VR_EXPORT int GEN_X400ToStringAddress(STF_List *status, char **out,
                                      const GEN_DeliveryAddress *orname,
                                      const GENU_Allocator *alloc);
/* A new O/R name, every other component absent, whose attribute list holds
 * one attribute with the encoded address ("RFC-822" for the Internet and
 * string forms, "MS-Mail" for MS Mail). A character at or above 128, or an
 * encoded address longer than the 128 characters of the attribute value:
 * GEN_S_INVALID; out of memory: GEN_S_NOMEM. */
VR_EXPORT int GEN_InternetMailToX400Address(STF_List *status, GEN_DeliveryAddress **out,
                                            const char *address, const GENU_Allocator *alloc);
VR_EXPORT int GEN_MsMailToX400Address(STF_List *status, GEN_DeliveryAddress **out,
                                      const char *address, const GENU_Allocator *alloc);
VR_EXPORT int GEN_StringToX400Address(STF_List *status, GEN_DeliveryAddress **out,
                                      const char *address, const GENU_Allocator *alloc);

VR_END_DECLS

#endif /* VRCORE_GEN_MAIL_H */
