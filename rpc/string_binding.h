// String bindings in the text form
//     [object-uuid@]protseq:network-address[endpoint,option=value,...]
// where a backslash takes the next character literally ("\[" is a bracket
// of the address, "\," a comma of the endpoint). Only "ncacn_ip_tcp" is
// carried; its endpoint is a TCP port (decimal, 1 to 65535) or empty.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vrcore::rpc {

inline constexpr std::string_view kProtseqTcp = "ncacn_ip_tcp";

// The parts of a binding, unescaped. Options are kept as their text
// ("name=value,name=value").
struct StringBinding {
    std::string object_uuid; // empty: none
    std::string protseq;
    std::string network_address;
    std::string endpoint;
    std::string options;
    friend bool operator==(const StringBinding &, const StringBinding &) = default;
};

// Joins the parts, escaping in each the characters that would end it.
// kOk; kInvalidStringUuid for an object identifier that is no UUID;
// kInvalidStringBinding for an empty or malformed protocol sequence;
// kProtseqNotSupported for another protocol sequence than ncacn_ip_tcp;
// kInvalidEndpointFormat for an endpoint that is no port.
uint32_t ComposeStringBinding(const StringBinding &parts, std::string *out);

// Splits a text into its parts. The same codes as composing, and
// kInvalidStringBinding for a malformed text (no ':' after the protocol
// sequence, an unclosed bracket, text after it, a dangling backslash).
// On kProtseqNotSupported the parts are filled all the same, so that a
// caller may look at a binding of another protocol; on any other failure
// *out is unchanged.
uint32_t ParseStringBinding(std::string_view text, StringBinding *out);

} // namespace vrcore::rpc
