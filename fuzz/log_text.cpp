// Hostile bytes through the message builder: severity letters, source file
// and user names, message text and log file stamps.
#include <cstdint>
#include <cstring>
#include <string>

#include "system/log_internal.h"

namespace {
size_t g_bytes = 0;
void Sink(int, const char *text) { g_bytes += std::strlen(text); }
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool once = [] {
        _SL__SetSink(Sink);
        return true;
    }();
    (void)once;
    // Four fields separated by NUL bytes: severities, file, user, text.
    std::string in(reinterpret_cast<const char *>(data), size);
    std::string field[4];
    size_t pos = 0;
    for (int i = 0; i < 4 && pos <= in.size(); ++i) {
        size_t end = i < 3 ? in.find('\0', pos) : std::string::npos;
        if (end == std::string::npos) end = in.size();
        field[i] = in.substr(pos, end - pos);
        pos = end + 1;
    }
    vrcore::log::MatchesStamp(field[1].c_str());
    LOG_Syslog(field[0].c_str(), field[2].c_str(), 0, 0);
    int severity = size ? data[0] % 34 : 1;
    if (LOG_StartMessage(severity, field[1].c_str(), static_cast<int>(size), field[2].c_str())) {
        LOG_AddText(field[3].c_str());
        LOG_CondAdd("%s", field[1].c_str());
        LOG_EndMessage();
    }
    LOG_CondMessage(severity, field[2].c_str(), -1, "%s", field[3].c_str());
    return 0;
}
