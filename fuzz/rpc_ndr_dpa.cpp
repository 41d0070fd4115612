// Hostile stub data of the request interface, both directions.
#include "rpc/idl_dpa.h"
#include "rpc_ndr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzndr::Run(vrcore::rpc::dpa::kInterface, data, size,
                 [](const vrcore::rpc::ndr::Procedure &, bool, const void *) {});
    return 0;
}
