// Rendering values and sets as trace text. The text goes to a sink: the
// thread's open log message for the exported functions, a string in tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vrcore/as.h"
#include "vrcore/gen.h"

namespace vrcore::syntax {

class Sink {
  public:
    virtual ~Sink() = default;
    virtual void Write(const char *p, size_t n) = 0;
    void Str(const char *s);
    // At most max bytes of s (up to its NUL).
    void Cut(const char *s, size_t max);
    void Printf(const char *format, ...) __attribute__((format(printf, 2, 3)));
};

// The longest piece of a name or text shown.
constexpr size_t kShownMax = 60;

const char *TypeName(uint32_t type);
const char *ModifyOpName(int32_t op);
// The name of a short identifier ("unknown" when it has none).
const char *OidName(GENU_ShortOID id);

// The set, attribute by attribute; 0, or a set module code (the status
// list holds it) when reading the set fails.
int RenderSet(Sink &sink, STF_List *status, AS_SetHandle set);
// One value as one line (or, for structured ones, lines) each beginning
// with the prefix.
void RenderValue(Sink &sink, const char *prefix, const void *value, uint32_t type);

// Renderers of single syntaxes; those returning int give 1 for a kind or
// choice they cannot show.
int RenderText(Sink &sink, const GEN_Text *text);
int RenderSimpleName(Sink &sink, const GEN_SimpleName *name);
int RenderNameOrOID(Sink &sink, const GEN_NameOrOID *value);
int RenderDistNameString(Sink &sink, const GEN_DistNameString *value);
int RenderObjectIdent(Sink &sink, const GEN_ObjectIdent *value);
void RenderGeneralizedTime(Sink &sink, const GEN_GeneralizedTime *value);
void RenderCheckpoint(Sink &sink, const GEN_Checkpoint *value);
int RenderExternal(Sink &sink, const GEN_External *value);
void RenderOctetString(Sink &sink, const GEN_OctetString *value);
void RenderOctetStringInt(Sink &sink, const GEN_OctetString *value);
void RenderShortOID(Sink &sink, GENU_ShortOID id);
int RenderErrorMessage(Sink &sink, const GEN_ErrorMessage *value);
void RenderLimitEncountered(Sink &sink, const int32_t *limit);
void RenderCardinal64(Sink &sink, const GEN_Cardinal64 *value);
int RenderACL(Sink &sink, const GEN_PSISAccessControlList *entry);
int RendereACL(Sink &sink, const GEN_ExtACL *entry);

// "day/month/year hour:minute:second.millisecond diff=mindiff UTC" into
// buffer (always NUL-terminated when size > 0).
const char *GeneralizedTimeToAscii(const GEN_GeneralizedTime &t, char *buffer, size_t size);

} // namespace vrcore::syntax
