// Logging entry points. Messages are accepted and dropped until the
// logging module proper is in place.
#include "vrcore/log.h"

extern "C" {
VR_EXPORT int LOG_CondMessage(int, const char *, int, const char *, ...) { return 0; }
VR_EXPORT int LOG_CondFuncTrace(const char *, const char *, int, int, const char *, ...) {
    return 0;
}
}
