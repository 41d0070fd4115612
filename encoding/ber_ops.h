// The second control table: attribute sets, operation arguments and
// results, and error PDUs. PduType consults it after the value table.
#pragma once

#include <cstddef>

#include "encoding/ber_runtime.h"

namespace vrcore::ber {

// The type of one of the operation PDU numbers, or null.
const Type *OpsPduType(int pdu);
// The PDU numbers of this table, by index 0..OpsPduCount()-1, and the
// name of the module type each one encodes.
size_t OpsPduCount();
int OpsPduAt(size_t i);
const char *OpsPduName(int pdu);

} // namespace vrcore::ber
