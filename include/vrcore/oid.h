/* vrcore object identifier registry: names, values and characteristics of
 * object identifiers, kept in a directory of B-tree database files.
 *
 * The registry directory holds the main file "DPAOIDs" (values and
 * characteristics), one file of names per locale ("DPAOIDs_C" is the
 * default), the link file "DPAOIDs_l", the dynamic identifier database
 * "oid_cvrt" and the lock file ".vr.lck". A process calls OID_Init once;
 * while it lives it holds the lock file: a shared lock when it opened the
 * registry read-only, an exclusive one when it opened it for writing, so a
 * writer never shares the directory with another process. Other processes
 * wait in OID_Init until the lock is theirs.
 *
 * Identifiers are handled in their binary form: 0x06, one length octet,
 * the content octets of the BER encoding. Functions that take a status
 * list clear it on entry and return the status code they also record
 * there (0 on success); a null status list returns 1 at once. */
#ifndef VRCORE_OID_H
#define VRCORE_OID_H

#include "stf.h"
#include "vrbm.h"
#include "vrdefs.h"

VR_BEGIN_DECLS

/* Status codes. */
#define OID_S_AMBIGUOUS 0xC00A0065u    /* an abbreviation matches several names */
#define OID_S_ADDFAILED 0xC00A0068u    /* a store failed, or a record is missing */
#define OID_S_INCONSISTENT 0xC00A006Du /* a failed add could not be undone */
#define OID_S_INITIALISED 0xC00A006Eu  /* OID_Init called twice */
#define OID_S_LOCK 0xC00A006Fu         /* the lock file cannot be opened or locked */
#define OID_S_NOTINIT 0xC00A0070u      /* the registry is not initialised */
#define OID_S_NAMEEXISTS 0xC00A0073u
#define OID_S_VALUEEXISTS 0xC00A0074u
#define OID_S_NODEFLOCALE 0xC00A0075u /* the default locale file cannot be opened */
#define OID_S_LOCKPATH 0xC00A0078u    /* the lock file's path cannot be formed */
#define OID_S_BADPATH 0xC00A007Au     /* no directory, or main or link file missing */
#define OID_S_NOCVRT 0xC00A007Du      /* the dynamic identifier database failed */
#define OID_S_PATHDIFF 0xC00A007Eu    /* OID_OpenDb directory differs */
#define OID_S_MODEDIFF 0xC00A007Fu    /* OID_OpenDb mode differs */
#define OID_S_NOMEM 0xC00A0081u
#define OID_S_BADMODE 0xC00A0086u
#define OID_S_NULLHANDLE 0xC00A0087u /* null, closed or foreign handle */
#define OID_S_BADSYNTAX 0xC00A008Fu  /* syntax code 256 or more */
#define OID_S_NOLOCKFILE 0xC00A0090u
#define OID_S_NOTSYNTAX 0xC00A0093u /* the record is not a syntax record */
#define OID_S_NOTFOUND 0xC00A0094u
#define OID_S_BADLOCALE 0xC00A009Du /* empty locale name, or one that is no file name */
#define OID_S_NOLINK 0xC00A009Fu    /* links cannot be added */
#define OID_S_INVALID 0xC00A00A0u   /* a malformed argument (binary form, name, text) */
#define OID_S_TOOSMALL 0xC00A00A1u  /* the output buffer is too small */
#define OID_S_INTERNAL 0xC00A00A2u  /* unexpected internal failure */

/* Limits. A binary form handed to the registry is at most OID_MAX_BINARY
 * octets in all; output buffers for binary forms need that many octets,
 * name buffers OID_MAX_NAME + 1. */
#define OID_MAX_BINARY 72
#define OID_MAX_NAME 128
#define OID_MAX_LOCALE 64
/* The longest binary form the dotted-decimal conversions accept (content
 * below 128 octets) and a text buffer that holds any of their results. */
#define OID_MAX_BINFORM 129
#define OID_MAX_DOTTED 1536

/* Open modes. */
#define OID_READONLY 0
#define OID_READWRITE 2

/* The characteristics record of an identifier: what it is and where it
 * may be used. Octet 0 is '0', octet 1 the kind below. Attributes: octet 2
 * flags (OID_ATTR_SINGLE or OID_ATTR_MULTI), 3 free for the caller, 4 the
 * syntax code, 5-6 the value class (high octet first, for syntaxes that
 * need one), 7 free for the caller, 8-11 a bit per valid operation code
 * 0..29 (bit code % 8 of octet 8 + code / 8), 12-18 a bit per valid object
 * class 1..55. Values: octet 4 is 10, 5-6 the value class, 7 free.
 * Value classes: 5-6 the class number. Syntaxes: 4 the syntax code.
 * Object classes: 5-6 the class number. */
#define OID_CHARS_LEN 19
typedef struct OID_Characteristics {
    uint8_t octets[OID_CHARS_LEN];
} OID_Characteristics;

#define OID_KIND_ATTRIBUTE 0x23
#define OID_KIND_VALUE 0x40
#define OID_KIND_VALUE_CLASS 0x30
#define OID_KIND_SYNTAX 0x50 /* syntax records: 0x50..0x5F */
#define OID_KIND_OBJECT_CLASS 0x60
#define OID_ATTR_SINGLE 0x01
#define OID_ATTR_MULTI 0x02
#define OID_MAX_OPERATION 29
#define OID_MAX_OBJECT_CLASS 55

typedef struct OID_Db OID_Db;

/* ---- Initialisation and handles ------------------------------------- */

/* Locks the directory's lock file (it must exist), opens the dynamic
 * identifier database and reads OID_NO_CACHE (when set, the lookup caches
 * are off). mode: OID_READONLY or OID_READWRITE. */
VR_EXPORT uint32_t OID_Init(STF_List *status, const char *directory, int32_t mode);
/* Closes every registry file, the dynamic identifier database and the
 * lock. Handles still open fail with OID_S_NOTINIT until closed. */
VR_EXPORT void OID_Term(void);
/* A handle on the registry; directory and mode must be those of OID_Init.
 * locale NULL: the process's current message locale; "C", "POSIX" and
 * "en_US" use the default locale file, as does a locale without a file. */
VR_EXPORT uint32_t OID_OpenDb(STF_List *status, const char *directory, const char *locale,
                              int32_t mode, OID_Db **handle);
VR_EXPORT uint32_t OID_SetLocale(STF_List *status, OID_Db *handle, const char *locale);
VR_EXPORT uint32_t OID_CloseDb(STF_List *status, OID_Db *handle);

/* ---- Adding and deleting -------------------------------------------- */

/* Registers an identifier under a name (1 to 128 characters, neither all
 * digits nor "last-locale-index") in the handle's locale. chars NULL
 * stores no characteristics. mode 1 only checks that neither the name nor
 * the value is registered. A failed add is undone. */
VR_EXPORT uint32_t OID_AddOID(STF_List *status, OID_Db *handle, const unsigned char *binary,
                              const char *name, const OID_Characteristics *chars, int32_t mode);
/* Removes an identifier's records from the main and locale files. */
VR_EXPORT uint32_t OID_DeleteOID(STF_List *status, OID_Db *handle, const unsigned char *binary);

/* ---- Lookups -----------------------------------------------------------
 * Outputs may be NULL. binary_out holds OID_MAX_BINARY octets, name_out
 * OID_MAX_NAME + 1 characters. Characteristics absent from the record are
 * returned as zeros. */

VR_EXPORT uint32_t OID_LookupName(STF_List *status, OID_Db *handle, const char *name,
                                  unsigned char *binary_out, OID_Characteristics *chars_out);
VR_EXPORT uint32_t OID_LookupBinary(STF_List *status, OID_Db *handle, const unsigned char *binary,
                                    char *name_out, OID_Characteristics *chars_out);
VR_EXPORT uint32_t OID_LookupShort(STF_List *status, OID_Db *handle, uint32_t short_id,
                                   char *name_out, OID_Characteristics *chars_out);
/* The one name that begins component by component with the abbreviation
 * ("j-n" stands for "job-name"; see VRBM_fetchAbbrev). Several:
 * OID_S_AMBIGUOUS; none: OID_S_NOTFOUND. */
VR_EXPORT uint32_t OID_LookupAbbrev(STF_List *status, OID_Db *handle, const char *abbrev,
                                    unsigned char *binary_out, OID_Characteristics *chars_out);
/* Also hands back, when the abbreviation is ambiguous, the candidate names
 * (release with VRBM_freeMatchList); *candidates is NULL otherwise. */
VR_EXPORT uint32_t OID_LookupAbbrev_A(STF_List *status, OID_Db *handle, const char *abbrev,
                                      unsigned char *binary_out, OID_Characteristics *chars_out,
                                      VRBM_MatchNode **candidates);
/* As OID_LookupAbbrev_A; keep_list 1 also hands back the list of a unique
 * match. */
VR_EXPORT uint32_t OID_LookupAbbrev_N(STF_List *status, OID_Db *handle, const char *abbrev,
                                      unsigned char *binary_out, OID_Characteristics *chars_out,
                                      VRBM_MatchNode **candidates, int32_t keep_list);
/* The identifier of a syntax (code below 256), of an object class, and of
 * a value class by name ("state" or "id-vc-state"). */
VR_EXPORT uint32_t OID_LookupSyntax(STF_List *status, OID_Db *handle, uint32_t syntax,
                                    unsigned char *binary_out);
VR_EXPORT uint32_t OID_LookupObjectClass(STF_List *status, OID_Db *handle, uint32_t class_number,
                                         unsigned char *binary_out);
VR_EXPORT uint32_t OID_LookupValueClass(STF_List *status, OID_Db *handle, const char *name,
                                        unsigned char *binary_out);

/* Links of an identifier to its descriptor, supported and ready
 * identifiers, from the link file. Links cannot be added: the Add
 * functions always fail with OID_S_NOLINK. */
VR_EXPORT uint32_t OID_LookupDescriptorFromBinary(STF_List *status, OID_Db *handle,
                                                  const unsigned char *binary,
                                                  unsigned char *binary_out);
VR_EXPORT uint32_t OID_LookupDescriptorFromShort(STF_List *status, OID_Db *handle,
                                                 uint32_t short_id, unsigned char *binary_out);
VR_EXPORT uint32_t OID_LookupSupportedFromBinary(STF_List *status, OID_Db *handle,
                                                 const unsigned char *binary,
                                                 unsigned char *binary_out);
VR_EXPORT uint32_t OID_LookupSupportedFromShort(STF_List *status, OID_Db *handle, uint32_t short_id,
                                                unsigned char *binary_out);
VR_EXPORT uint32_t OID_LookupReadyFromBinary(STF_List *status, OID_Db *handle,
                                             const unsigned char *binary,
                                             unsigned char *binary_out);
VR_EXPORT uint32_t OID_LookupReadyFromShort(STF_List *status, OID_Db *handle, uint32_t short_id,
                                            unsigned char *binary_out);
VR_EXPORT uint32_t OID_AddDescriptor(STF_List *status, OID_Db *handle, const unsigned char *binary,
                                     const unsigned char *linked);
VR_EXPORT uint32_t OID_AddSupported(STF_List *status, OID_Db *handle, const unsigned char *binary,
                                    const unsigned char *linked);
VR_EXPORT uint32_t OID_AddReady(STF_List *status, OID_Db *handle, const unsigned char *binary,
                                const unsigned char *linked);

/* ---- Characteristics ------------------------------------------------ */

/* The characteristics that follow the binary form in a record, or NULL
 * when the record does not begin with 0x06 or has none (octet 0). */
VR_EXPORT const OID_Characteristics *OID_GetChars(const void *ignored, const unsigned char *record);
/* Attribute record: flags OID_ATTR_MULTI when multi is 1, else
 * OID_ATTR_SINGLE; the value class only for a syntax that needs one. No
 * operation or object class is valid yet. */
VR_EXPORT void OID_SetAttrCharacteristics_M(int32_t multi, uint32_t syntax, uint8_t octet3,
                                            uint16_t value_class, uint8_t octet7,
                                            OID_Characteristics *chars);
/* The same with each listed operation and object class made valid.
 * Returns 0, or 1 when an operation or class was out of range (it is
 * left out) or chars is NULL. */
VR_EXPORT int32_t OID_SetAttrCharacteristics(int32_t multi, uint32_t syntax,
                                             uint32_t operation_count, const uint32_t *operations,
                                             uint32_t class_count, const uint32_t *classes,
                                             uint8_t octet3, uint16_t value_class, uint8_t octet7,
                                             OID_Characteristics *chars);
VR_EXPORT void OID_SetValueCharacteristics(uint16_t value_class, uint8_t octet7,
                                           OID_Characteristics *chars);
VR_EXPORT void OID_SetValueClassCharacteristics(uint16_t class_number, OID_Characteristics *chars);
/* 0, or 1 for a code outside 0..29 (classes: 0..55; class 0 makes every
 * class valid). */
VR_EXPORT int32_t OID_SetValidOperation(OID_Characteristics *chars, uint32_t operation);
VR_EXPORT int32_t OID_SetValidObjectClass(OID_Characteristics *chars, uint32_t class_number);
/* 1 when the bit is set; 0 for NULL characteristics or an out-of-range
 * code. */
VR_EXPORT int32_t OID_ValidForOp(const OID_Characteristics *chars, uint32_t operation);
VR_EXPORT int32_t OID_ValidForObject(const OID_Characteristics *chars, uint32_t class_number);
/* 1 when attributes of the syntax carry a value class. */
VR_EXPORT int32_t OID__ValueClassRequired(uint32_t syntax);

/* ---- Binary forms and dotted decimal --------------------------------- */

/* Dotted decimal text ("1.0.10175.1.3.1.1") of a binary form whose content
 * is 1 to 127 octets of well-formed subidentifiers (each at most
 * 4294967295, minimally encoded). With chars, their 19 octets follow as 19
 * further parts. *length: on entry the size of text, on return the text's
 * length (on OID_S_TOOSMALL the size needed, with its terminating zero). */
VR_EXPORT uint32_t OID_ConvertBinToDec(STF_List *status, const unsigned char *binary,
                                       const OID_Characteristics *chars, uint32_t *length,
                                       char *text);
/* The exact inverse: the binary form of dotted decimal text; with
 * chars_out the last 19 parts are read as the characteristics (each 0 to
 * 255). *length: on entry the size of binary_out, on return the octets
 * written. Text other than canonical dotted decimal (empty parts, signs,
 * blanks, leading zeros, fewer than two arcs, a first arc above 2, a
 * second above 39 under arcs 0 and 1, parts above 4294967295, content of
 * 128 octets or more) is refused with OID_S_INVALID. */
VR_EXPORT uint32_t OID_ConvertDecToBin(STF_List *status, const char *text,
                                       OID_Characteristics *chars_out, uint32_t *length,
                                       unsigned char *binary_out);
/* Copies a binary form (OID_Len(src) octets). */
VR_EXPORT void OID_CopyBinary(unsigned char *dst, const unsigned char *src);
/* 1 when both forms are the same octets. */
VR_EXPORT int32_t OID_EqualBinary(const unsigned char *a, const unsigned char *b);
/* Orders subidentifier by subidentifier, a prefix first: <0, 0, >0. */
VR_EXPORT int32_t OID_CmpBinary(const unsigned char *a, const unsigned char *b);
/* Octets of a binary form (length octet + 2); 0 for NULL. */
VR_EXPORT uint32_t OID_Len(const unsigned char *binary);

VR_END_DECLS

#endif /* VRCORE_OID_H */
