/* vrcore locales: translation between DPA locales (language, territory and
 * a code-set identifier), platform locale names and numeric locale
 * identifiers (LCIDs), through the mapping file "charset.dat".
 *
 * The mapping file is plain text, read line by line (at most 255
 * characters a line; blank lines are skipped):
 *
 *   codeset-mappings:
 *   ISO8859-1 1.0.10175.1.6.24.4          <- code-set name, dotted identifier
 *   ...
 *   locale-mappings:
 *   en_US en US ISO8859-1 1033            <- locale name, language,
 *   ...                                      territory, code-set name, LCID
 *
 * In a locale name "$" stands for a blank; a territory written "<empty>"
 * is the empty territory. Code-set names are names iconv_open accepts.
 *
 * Every function takes a status list first and returns 0, or 1 with a code
 * in the list; without a status list it returns 1 at once. */
#ifndef VRCORE_I18N_H
#define VRCORE_I18N_H

#include "gen.h"
#include "vrtypes.h"

VR_BEGIN_DECLS

#define I18N_S_FAILURE 0xC0140067u   /* missing mapping, memory, or an unmatched I18N_Term */
#define I18N_S_MALFORMED 0xC014006Au /* the mapping file is malformed */
#define I18N_S_NOFILE 0xC014006Bu    /* the mapping file cannot be opened */
#define I18N_S_NOLOCALE 0xC014006Cu  /* no such locale */
#define I18N_S_INTERNAL 0xC014006Du  /* unexpected internal failure */

/* A DPA locale: language and territory (0..2 characters, the length
 * first) and the code set's short identifier. Records handed out by the
 * functions below are allocated with malloc and released with free. */
typedef GEN_Locale I18N_DPALocale;

/* Loads the mapping tables on the first call and counts every call. With a
 * directory only "<directory>/charset.dat" is read; without one the data
 * directory of the installation ($TS_ROOT/share/data), then
 * "../share/data". */
VR_EXPORT int I18N_Init(STF_List *status, const char *directory);
/* Counts down; the last call releases the tables. */
VR_EXPORT int I18N_Term(STF_List *status);

VR_EXPORT int I18N_CodesetNameToOID(STF_List *status, const char *name, GENU_ShortOID *oid_out);
/* Copies the code set's name (with its terminating zero) into buffer of
 * size bytes; *length_out receives the name's length. A buffer too small
 * gets a truncated, terminated name and the call still succeeds. */
VR_EXPORT int I18N_OIDToCodesetName(STF_List *status, GENU_ShortOID oid, uint32_t size,
                                    uint32_t *length_out, char *buffer);

VR_EXPORT int I18N_GetDPALocaleFromLocaleName(STF_List *status, const char *locale_name,
                                              I18N_DPALocale **locale_out);
VR_EXPORT int I18N_GetLocaleNameFromDPALocale(STF_List *status, const I18N_DPALocale *locale,
                                              uint32_t size, uint32_t *length_out, char *buffer);
VR_EXPORT int I18N_GetDPALocaleFromLCID(STF_List *status, int32_t lcid,
                                        I18N_DPALocale **locale_out);
VR_EXPORT int I18N_GetLCIDFromDPALocale(STF_List *status, const I18N_DPALocale *locale,
                                        int32_t *lcid_out);
/* The DPA locale of the process's current locale (setlocale). */
VR_EXPORT int I18N_GetCurrentDPALocale(STF_List *status, I18N_DPALocale **locale_out);

VR_END_DECLS

#endif /* VRCORE_I18N_H */
