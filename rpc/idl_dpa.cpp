#include "rpc/idl_dpa.h"

#include <cstddef>

namespace vrcore::rpc::dpa {

using ndr::Field;
using ndr::Kind;
using ndr::Ptr;
using ndr::Type;

namespace {

const Type kBytes{.kind = Kind::kConfArray,
                  .size = 1,
                  .inner = &ndr::kSmallType,
                  .count_at = offsetof(Packet, length)};
const Field kPacketFields[] = {{offsetof(Packet, length), &ndr::kLongType},
                               {offsetof(Packet, bytes), &kBytes}};
const Type kPacket{
    .kind = Kind::kStruct, .size = sizeof(Packet), .fields = kPacketFields, .field_count = 2};
const Type kRefPacket{
    .kind = Kind::kPointer, .size = sizeof(void *), .ptr = Ptr::kRef, .inner = &kPacket};
const Type kFullPacket{
    .kind = Kind::kPointer, .size = sizeof(void *), .ptr = Ptr::kFull, .inner = &kPacket};

const Field kIn[] = {{offsetof(TransferIn, operation), &ndr::kEnum16Type},
                     {offsetof(TransferIn, request), &kRefPacket}};
const Field kOut[] = {{offsetof(TransferOut, result), &kFullPacket},
                      {offsetof(TransferOut, error), &kFullPacket},
                      {offsetof(TransferOut, error_kind), &ndr::kEnum16Type},
                      {offsetof(TransferOut, status), &ndr::kLongType}};

const ndr::Procedure kProcedures[] = {
    {kTransferRequest, "transfer_request", kIn, kOut, sizeof(TransferIn), sizeof(TransferOut)}};

} // namespace

const ndr::Interface kInterface{{{{0x3e, 0x55, 0x3f, 0x00, 0x5d, 0xfd, 0xdf, 0x1b, 0x8b, 0x74, 0x10,
                                   0x00, 0x5a, 0xa8, 0x72, 0xc0}},
                                 1,
                                 0},
                                "dpa_if",
                                kProcedures};

} // namespace vrcore::rpc::dpa
