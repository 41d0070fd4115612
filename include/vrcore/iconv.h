/* vrcore code-set conversion of text values exchanged with a peer whose
 * code set differs from the local one. Each thread may hold one
 * conversion context; without one, bytes are copied unchanged. */
#ifndef VRCORE_ICONV_H
#define VRCORE_ICONV_H

#include "gen.h"
#include "vrtypes.h"

VR_BEGIN_DECLS

#define ICONV_S_CONVERT 0xC00E008Cu    /* the bytes cannot be converted */
#define ICONV_S_INCOMPLETE 0xC00E008Du /* incomplete input, or the result does not fit */

#define ICONV_S_NOMEMORY 0xC00E0068u /* memory is short */
#define ICONV_S_NOSLOT 0xC00E00BEu   /* the thread's context cannot be stored */
#define ICONV_S_INTERNAL 0xC00E00CDu /* unexpected internal failure */

typedef struct ICONV_Context ICONV_Context;

/* The two callbacks the conversion context asks for locale facts (the
 * locale module registers its own with I18N_Init):
 *   slot 0: the current DPA locale, a record released with free;
 *   slot 1: the code-set name of a short identifier, copied into buffer. */
#define ICONV_CALLBACK_LOCALE 0
#define ICONV_CALLBACK_CODESET_NAME 1
typedef int (*ICONV_LocaleCallback)(STF_List *status, GEN_Locale **locale_out);
typedef int (*ICONV_CodesetNameCallback)(STF_List *status, GENU_ShortOID oid, uint32_t size,
                                         uint32_t *length_out, char *buffer);
/* The generic form a callback is registered under; cast the slot's own
 * type to it. A null function empties the slot. */
typedef void (*ICONV_Callback)(void);
VR_EXPORT int ICONV_RegisterCallback(STF_List *status, int slot, ICONV_Callback function);

/* A context converting between the local code set and the peer's, named
 * through the slot-1 callback. Unsupported pair: 0xC00E008C. */
VR_EXPORT int ICONV_CreateContext(STF_List *status, GENU_ShortOID local, GENU_ShortOID peer,
                                  ICONV_Context **context_out);
/* Gives the calling thread a context towards the peer's code set unless it
 * has one, no locale callback is registered, the code sets are the same,
 * or the pair has no converter (logged; the thread then copies bytes). */
VR_EXPORT int ICONV_ConfigureContext(STF_List *status, GENU_ShortOID peer);

/* A context converting between the local code set and the peer's, both
 * given by their converter names and short identifiers; NULL when the pair
 * is not supported or memory is short. */
VR_EXPORT ICONV_Context *ICONV_CreateContextForNames(const char *local_name, GENU_ShortOID local,
                                                     const char *peer_name, GENU_ShortOID peer);
/* Makes context the calling thread's (releasing a different previous
 * one); the thread releases it when it ends. */
VR_EXPORT void ICONV_SetContext(ICONV_Context *context);
/* Takes the thread's context away from it (NULL when none). */
VR_EXPORT ICONV_Context *ICONV_GetAndClearContext(void);
VR_EXPORT void ICONV_DestroyContext(ICONV_Context *context);

/* Convert a text's bytes for the wire (ToBER) or from it (ToGEN) into out,
 * which holds at most 255 or 4095 bytes; *out_length receives the bytes
 * produced. 0 on success, 1 with a code in status. */
VR_EXPORT int ICONV_ToBER_OtherCodeSet255(STF_List *status, const unsigned char *in,
                                          uint16_t in_length, unsigned char *out,
                                          uint16_t *out_length);
VR_EXPORT int ICONV_ToGEN_OtherCodeSet255(STF_List *status, const unsigned char *in,
                                          uint16_t in_length, unsigned char *out,
                                          uint16_t *out_length);
VR_EXPORT int ICONV_ToBER_OtherCodeSet4095(STF_List *status, const unsigned char *in,
                                           uint32_t in_length, unsigned char *out,
                                           uint32_t *out_length);
VR_EXPORT int ICONV_ToGEN_OtherCodeSet4095(STF_List *status, const unsigned char *in,
                                           uint32_t in_length, unsigned char *out,
                                           uint32_t *out_length);

VR_END_DECLS

#endif /* VRCORE_ICONV_H */
