/* vrcore DPA client: the ONC RPC request records and their XDR routines.
 *
 * A request travels as one call of procedure 1 of the server's program:
 * the argument record carries the operation number and the encoded
 * argument, the reply record the error kind, the encoded result and the
 * encoded error. Each encoded packet is a counted array of bytes in which
 * every byte is its own 4-byte XDR integer, sign-extended (0x80 travels as
 * 0xFFFFFF80), exactly as the XDR character routine puts it; these
 * routines move the array in bulk and never write to the bytes they
 * encode, so a packet may point into read-only memory.
 *
 * This header needs no RPC header of its own: XDR streams and clients are
 * named by their structure tags, which are those of the RPC library's XDR
 * and CLIENT types, so a program that includes <rpc/rpc.h> passes its XDR
 * and CLIENT pointers unchanged. */
#ifndef VRCORE_ODPCLI_H
#define VRCORE_ODPCLI_H

#include "vrdefs.h"

VR_BEGIN_DECLS

struct __rpc_xdr;    /* XDR */
struct __rpc_client; /* CLIENT */

/* The procedure number of a request. */
#define ODP_ONC_PROCEDURE 1

/* One encoded packet: `encodePacket_len` bytes at `encodePacket_val`.
 * Decoding makes the bytes a new block of the heap (malloc), released by
 * the routine in XDR_FREE mode (xdr_free, clnt_freeres); a pointer already
 * in the record is not reused, so decode into a zeroed record. The count
 * is not bounded; decoding allocates only as the bytes arrive, so a count
 * larger than the data fails without a large allocation.
 * (The names keep the spelling of the ONC interface.) */
/* NOLINTBEGIN(readability-identifier-naming) */
typedef struct encodePacket {
    unsigned int encodePacket_len;
    char *encodePacket_val;
} encodePacket;

/* The argument of a request: the operation number and its encoded
 * argument. */
typedef struct ODP_argument_t {
    int operation;
    encodePacket request;
} ODP_argument_t;

/* The reply: the error kind (0 when there is no error), the encoded result
 * and the encoded error, each possibly empty. */
typedef struct ODP_result_t {
    int error_kind;
    encodePacket result;
    encodePacket error;
} ODP_result_t;

/* XDR routines of the records (bool_t results: 1 done, 0 failed). */
VR_EXPORT int xdr_encodePacket(struct __rpc_xdr *xdrs, encodePacket *packet);
VR_EXPORT int xdr_ODP_argument_t(struct __rpc_xdr *xdrs, ODP_argument_t *argument);
VR_EXPORT int xdr_ODP_result_t(struct __rpc_xdr *xdrs, ODP_result_t *result);

/* The client stub: calls procedure 1 with a 25-second time-out argument
 * (a time-out the client carries, CLSET_TIMEOUT, takes precedence) and
 * decodes the reply into *result, to be released with
 * clnt_freeres(client, xdr_ODP_result_t, result). Returns the RPC status,
 * an enum clnt_stat value: 0 (RPC_SUCCESS) when a reply was decoded. */
VR_EXPORT int odp_request_1(ODP_argument_t *argument, ODP_result_t *result,
                            struct __rpc_client *client);
/* NOLINTEND(readability-identifier-naming) */

VR_END_DECLS

#endif
