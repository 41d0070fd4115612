// The pieces the operation trace is made of. Each writes into the calling
// thread's open log message; the renderers of values get a status list of
// the trace's own, so the caller's list is never touched.
#pragma once

#include <cstdint>

#include "vrcore/echo.h"

namespace vrcore::client {

// The trace's own status list; null when it could not be made (the
// renderers then show their error markers only).
class Scratch {
  public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;
    STF_List *Get() const { return list_; }

  private:
    STF_List *list_;
};

// Whether a message is open for the composite renderers.
bool Tracing();

// Appends text or formatted text to the open message.
void Put(const char *text);

// "\t<label> = OPTION not specified" or "\t<label> = NULL [ERROR]".
void Absent(const char *label, bool required);

// Argument entries, each absent as its own entry says.
void JobText(const char *label, const char *job, bool required);
void JobId(const char *label, const GEN_JobIdentifier &job);
void Message(const char *label, const GEN_Message *message);
void Oid(const char *label, GENU_ShortOID id);
void Number(const char *label, const int32_t *value);
void ObjectIdent(const char *label, const GEN_ObjectIdent *value, bool required);
// A set: "\t<label>" + `mark` (" =" or ":") and its attributes; absent
// when the address or the handle is null.
void SetEntry(const char *label, const AS_SetHandle *set, bool required, const char *mark = " =");
// The attributes of a set ("\t\t**ERROR** set cannot be read" when they
// cannot be read).
void SetLines(AS_SetHandle set);

} // namespace vrcore::client
