// The value types of the values that the operation and error PDUs carry
// packed, for the conversions of this module and the client that builds
// the operations' arguments.
#pragma once

#include <cstdint>

namespace vrcore::encoding {

inline constexpr uint32_t kDistNameStringType = 6;
inline constexpr uint32_t kDocumentContentType = 7;
inline constexpr uint32_t kMessageType = 16;
inline constexpr uint32_t kNameOrOidType = 18;
inline constexpr uint32_t kOctetStringType = 20;
inline constexpr uint32_t kSimpleNameType = 27;
inline constexpr uint32_t kTextType = 28;
inline constexpr uint32_t kTimeType = 48;
inline constexpr uint32_t kObjectIdentType = 64;
inline constexpr uint32_t kCheckpointType = 74;

} // namespace vrcore::encoding
