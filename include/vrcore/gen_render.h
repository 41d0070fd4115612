/* vrcore value syntaxes: rendering values into the trace. */
#ifndef VRCORE_GEN_RENDER_H
#define VRCORE_GEN_RENDER_H

#include "as.h"
#include "gen_types.h"

VR_BEGIN_DECLS

/* ---- Trace rendering --------------------------------------------------
 * Each renderer appends lines to the calling thread's open log message and
 * writes nothing (returning 0) when none is open. A null status list gives
 * 1. The renderers never clear the status list: they add a code only when
 * they fail. A null value renders as "NULL value". Long names and texts
 * are cut to 60 characters in value lines. */

/* The set, attribute by attribute: "\t\t<name> (<type>) <modify op>" and
 * each value on a line of its own after "\t\t\t" ("\t\t\tno values" when
 * there is none); "\t\tno attributes" for an empty set. 1 (with the set
 * module's code added) when the set cannot be read. */
VR_EXPORT int GEN_EchoAS(STF_List *status, AS_SetHandle set);
/* Texts and messages: kinds 1, 2 and 5 as they are; kind 3 as "Length =
 * n", "Value=<...>" with the first 60 characters; kind 4 as an octet
 * string; another kind "unknown simple name choice" and 1. */
VR_EXPORT int GEN_EchoText(STF_List *status, const GEN_Text *text);
VR_EXPORT int GEN_EchoMessage(STF_List *status, const GEN_Message *message);
VR_EXPORT int GEN_EchoSimpleName(STF_List *status, const GEN_SimpleName *name);
VR_EXPORT int GEN_EchoNameOrOID(STF_List *status, const GEN_NameOrOID *value);
/* "name Syntax=syntax" or "name No Syntax". */
VR_EXPORT int GEN_EchoDistNameString(STF_List *status, const GEN_DistNameString *value);
/* "\t\tjob-identifier = ...", "\t\tdocument-number = ...",
 * "\t\tobject-identifier = ", "\t\tobject-name = ", "\t\tfont-reference = ",
 * "\t\tname-or-oid = ", "\t\tsimple name = " by choice. */
VR_EXPORT int GEN_EchoObjectIdent(STF_List *status, const GEN_ObjectIdent *value);
/* One "\t\tfield = value" line per field. */
VR_EXPORT int GEN_EchoGeneralizedTime(STF_List *status, const GEN_GeneralizedTime *value);
VR_EXPORT int GEN_EchoCheckpoint(STF_List *status, const GEN_Checkpoint *value);
VR_EXPORT int GEN_EchoExternal(STF_List *status, const GEN_External *value);
/* "Length = n" and "Value=<hex>" (first 60 bytes). */
VR_EXPORT int GEN_EchoOctetString(STF_List *status, const GEN_OctetString *value);
/* Up to 8 bytes as an unsigned number, most significant first; longer
 * strings as GEN_EchoOctetString. */
VR_EXPORT int GEN_EchoOctetStringInt(STF_List *status, const GEN_OctetString *value);
VR_EXPORT int GEN_EchoShortOID(STF_List *status, GENU_ShortOID id);
VR_EXPORT int GEN_EchoErrorMessage(STF_List *status, const GEN_ErrorMessage *value);
/* 0 "time limit", 1 "count limit", 2 "administrative limit". */
VR_EXPORT int GEN_EchoLimitEncountered(STF_List *status, const int32_t *limit);

VR_END_DECLS

#endif /* VRCORE_GEN_RENDER_H */
