/* vrcore GENU_ interface. */
#ifndef VRCORE_GENU_H
#define VRCORE_GENU_H

#include "stf.h"
#include "vrdefs.h"
#include "vrtypes.h"

VR_BEGIN_DECLS

/* ---- Short object identifiers ------------------------------------------
 * Built in: 1..1092 and 3000..3562; dynamic (registered in the "oid_cvrt"
 * database of the registry directory): 0x80000000 and above; 0: none. */

/* The BER form of an identifier: the content octets of its encoding. */
typedef struct GENU_BerOID {
    uint32_t length;
    const unsigned char *value;
} GENU_BerOID;

/* Opens the dynamic identifier database "oid_cvrt" in a directory; mode 0
 * read-only, 2 read-write. */
VR_EXPORT int GENU_Init(STF_List *status, const char *directory, int mode);
VR_EXPORT void GENU_Term(void);
/* The open database handle (for programs that register identifiers with
 * the VRBM_ functions), or NULL. */
VR_EXPORT void *GENU_GetCvrtHandle(void);

/* Conversions; each returns 0, or 1 with a status in the list. Forms handed
 * out stay valid until GENU_Term and must not be freed. */
VR_EXPORT int GENU_ShortToBerOID(STF_List *status, GENU_ShortOID id, GENU_BerOID *ber_out);
/* The binary form: 0x06, one length octet, the content octets. */
VR_EXPORT int GENU_ShortToBinaryOID(STF_List *status, GENU_ShortOID id,
                                    const unsigned char **binary_out);
/* The name, or "unknown"; never fails. */
VR_EXPORT const char *GENU_ShortOIDToAscii(GENU_ShortOID id);
/* The syntax code of an identifier (the value type of an attribute). */
VR_EXPORT int GENU_AttrIdToType(STF_List *status, GENU_ShortOID id, int32_t *type_out);
VR_EXPORT int GENU_BerToShortOID(STF_List *status, const GENU_BerOID *ber, GENU_ShortOID *out);
VR_EXPORT int GENU_BinaryToShortOID(STF_List *status, const unsigned char *binary,
                                    GENU_ShortOID *out);
VR_EXPORT int GENU_AsciiToShortOID(STF_List *status, const char *name, GENU_ShortOID *out);
/* As GENU_AsciiToShortOID after putting prefix in front of a name that
 * does not begin with it ("job-name", "id-att-" -> "id-att-job-name"). */
VR_EXPORT int GENU_PrefixToShortOID(STF_List *status, const char *name, const char *prefix,
                                    GENU_ShortOID *out);

VR_END_DECLS

#endif /* VRCORE_GENU_H */
