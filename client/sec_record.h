// The privilege record: the identity of the caller and of this computer,
// laid out as the server reads it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vrcore/sec.h"

namespace vrcore::client {

struct Identity {
    std::string user_name;
    std::string user_domain;
    int32_t user_domain_type = 0;
    std::string computer_name;
    std::string computer_domain;
    int32_t computer_domain_type = 0;
};

using Record = std::array<unsigned char, SEC_PAC_SIZE>;
using WrappedRecord = std::array<unsigned char, SEC_PAC_WRAPPED_SIZE>;

// The longest prefix of `text` that fits a field of `field` bytes with its
// NUL and does not end inside a UTF-8 sequence.
std::string_view FitField(std::string_view text, size_t field);

// The record of an identity; texts too long for their fields are cut by
// FitField.
Record BuildRecord(const Identity &who);
// The binding's form of the record.
WrappedRecord WrapRecord(const Record &record);

// The ONC form's computer: the official host name split at its first ".";
// without a "." the whole name, an empty domain and `default_type`.
void SplitOfficialName(std::string_view official, int32_t default_type, Identity &who);

} // namespace vrcore::client
