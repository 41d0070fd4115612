// Shared between the error-result builders and the error PDU codec.
#pragma once

#include <cstdint>

#include "vrcore/erdpa.h"

namespace vrcore::encoding {

// The problem text of a standard code of an error kind (the "unknown ..."
// text for another code), or null for an unknown kind.
const char *ProblemText(uint32_t kind, uint32_t code);
// Whether the code is one of the kind's standard problems.
bool IsStandardProblem(uint32_t kind, uint32_t code);

} // namespace vrcore::encoding
