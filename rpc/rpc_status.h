// The status numbers of the RPC runtime: 0 for success, else the number
// the callers (the DPA client, the name service) map to their own codes.
#pragma once

#include <cstdint>

namespace vrcore::rpc {

inline constexpr uint32_t kOk = 0;
inline constexpr uint32_t kFileNotFound = 2; // a file named by the configuration is missing
inline constexpr uint32_t kAccessDenied = 5; // authentication refused or required
inline constexpr uint32_t kInvalidData = 13; // a file's text breaks its format
inline constexpr uint32_t kOutOfMemory = 14;
inline constexpr uint32_t kInvalidStringBinding = 1700;
inline constexpr uint32_t kWrongKindOfBinding = 1701;
inline constexpr uint32_t kInvalidBinding = 1702;
inline constexpr uint32_t kProtseqNotSupported = 1703;
inline constexpr uint32_t kInvalidStringUuid = 1705;
inline constexpr uint32_t kInvalidEndpointFormat = 1706;
inline constexpr uint32_t kUnknownInterface = 1717;  // the server rejected the interface at bind
inline constexpr uint32_t kServerUnavailable = 1722; // no connection to the server
inline constexpr uint32_t kServerTooBusy = 1723;
inline constexpr uint32_t kCallFailed = 1726;    // the connection broke during the call
inline constexpr uint32_t kProtocolError = 1728; // the peer broke the protocol
inline constexpr uint32_t kUnsupportedTransferSyntax = 1730;
inline constexpr uint32_t kInvalidBound = 1734;          // a count to marshal is out of its bounds
inline constexpr uint32_t kProcnumOutOfRange = 1745;     // no such operation in the interface
inline constexpr uint32_t kUnknownAuthnService = 1747;   // an authentication service not offered
inline constexpr uint32_t kUnknownAuthnLevel = 1748;     // an authentication level not offered
inline constexpr uint32_t kEndpointNotRegistered = 1753; // the endpoint mapper knows no such entry
inline constexpr uint32_t kNullRefPointer = 1780;        // a reference pointer to marshal is null
inline constexpr uint32_t kEnumValueOutOfRange = 1781;
inline constexpr uint32_t kBadStubData = 1783;   // the marshalled data could not be read
inline constexpr uint32_t kCallCancelled = 1818; // the call time-out ran out

} // namespace vrcore::rpc
