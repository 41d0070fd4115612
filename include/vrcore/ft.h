/* vrcore document transfer: moving a document's data into a server's spool
 * directory by socket, file reference, anonymous FTP or inline content,
 * chunk-wise transfers through a transfer buffer, and the versioned spool
 * files through which filters process a spooled document.
 *
 * Spool files are named "<dir>/ft_<job>.<doc>.<sec>.<usec>.orig", with
 * ".tmp" appended while a socket or inline transfer is still receiving.
 * The job identifier is written into the name with every byte other than
 * letters, digits, "-", "_" and "." as %XX, so no identifier can name a file
 * outside the spool directory. Spool files are created exclusively, never
 * through a symbolic link, with read and write permission for the owner
 * only; a transfer that fails removes what it had written.
 *
 * Every function returns 0 or an FT_S_ code directly. Each transfer runs in
 * the calling thread; transfers in different threads share nothing. */
#ifndef VRCORE_FT_H
#define VRCORE_FT_H

#include "gen.h"
#include "vrdefs.h"

VR_BEGIN_DECLS

/* Status codes. */
#define FT_S_FAILED 0xC0050067u    /* transfer, read or write failure */
#define FT_S_NOFILES 0xC0050068u   /* too many open files or no memory when opening */
#define FT_S_NOSPACE 0xC0050069u   /* no space left on the device */
#define FT_S_NOMEM 0xC005006Au     /* allocation failure */
#define FT_S_NODOCID 0xC005006Du   /* missing document identifier */
#define FT_S_BADFD 0xC005006Eu     /* invalid descriptor, or unsupported inline content */
#define FT_S_NOCONTENT 0xC0050070u /* missing document content */
#define FT_S_OTHER                                                                                 \
    0xC0050071u                   /* missing arguments, unsupported method, bad                    \
                                     path or source, socket failures */
#define FT_S_INTERNAL 0xC0050072u /* unexpected internal failure */

/* Transfer methods (short identifiers of their values). */
#define FT_METHOD_WITH_REQUEST 446u
#define FT_METHOD_SOCKET 447u
#define FT_METHOD_FILE_REFERENCE 449u
#define FT_METHOD_FTP 450u

/* Buffer roles. */
#define FT_ROLE_SENDER 0
#define FT_ROLE_RECEIVER 1

/* Version suffixes of a spooled document. */
#define FT_VERSION_ORIG 1 /* ".orig": the data as received */
#define FT_VERSION_CURR 2 /* ".curr": a filter's output being written */
#define FT_VERSION_PREV 3 /* ".prev": the latest filter's output */
#define FT_VERSION_NONE 4 /* no suffix */

/* Longest spool file name, with its NUL. */
#define FT_NAME_MAX 4096

/* A socket address as carried in the RPC-address value: kind 1, the port
 * in host order, address length 4 and the IPv4 address in network order.
 * An all-zero address means the local host. */
typedef struct FT_SocketAddress {
    uint16_t kind;
    uint16_t port;
    uint16_t address_length;
    unsigned char address[4];
} FT_SocketAddress;

/* Where a server keeps its spool files. */
typedef struct FT_SpoolInfo {
    const char *directory; /* portable path; NULL: the configured spool directory */
} FT_SpoolInfo;

/* The outcome of a server-side transfer. */
typedef struct FT_Result {
    char spool_name[FT_NAME_MAX]; /* native path of the spool file */
    uint64_t size;                /* bytes in it */
    FT_SocketAddress address;     /* socket method: where the client sends */
    int listen_socket;            /* socket method: the prepared socket, else -1 */
} FT_Result;

/* The state of a chunk-wise transfer. */
typedef struct FT_Buffer {
    unsigned char *data;
    size_t size;              /* capacity of data */
    size_t count;             /* bytes in data */
    FT_SocketAddress address; /* copy of the peer's (sender) or own (receiver) address */
    int fd;                   /* open file, or -1 */
    int socket;               /* connected socket, or -1 */
    int listen_socket;        /* receiver of a socket transfer: prepared socket, or -1 */
    int allocated;            /* made by FT_BufferInit; released by FT_Finish */
} FT_Buffer;

/* A filter's view of a spooled document. */
typedef struct FT_Filter {
    char base[FT_NAME_MAX]; /* spool name without its ".orig" suffix */
    int input;              /* version being read, or -1 */
    int output;             /* ".curr" being written, or -1 */
} FT_Filter;

/* Nothing beyond tracing; each returns 0. */
VR_EXPORT uint32_t FT_Init(void);
VR_EXPORT uint32_t FT_Shutdown(void);
VR_EXPORT uint32_t FT_Cancel(const GEN_DocumentIdentifier *id);

/* Client side. Method 447 sends the local file named by the content's
 * specific reference (a portable path) to the address over TCP: up to five
 * connection attempts a second apart, then the whole file. *sent (may be
 * NULL) receives the bytes sent. Methods 450 and others are refused. */
VR_EXPORT uint32_t FT_FileToSend(const GEN_DocumentIdentifier *id, const FT_SocketAddress *address,
                                 const GEN_DocumentContent *content, uint32_t method,
                                 uint64_t *sent);

/* Server side. Method 447 prepares a socket server: result->address and
 * result->listen_socket, and the spool name (with ".tmp") that
 * FT_SocketServer fills. Method 449 copies the file named by the content's
 * specific reference (a portable path) into a new spool file. Method 450
 * fetches by anonymous FTP the file named by the specific reference
 * "[ftp://]host[:port]/path" (port 21 when absent); "path" is sent as it
 * stands, so "host//abs" asks for "/abs". */
VR_EXPORT uint32_t FT_RetrieveToFile(const GEN_DocumentIdentifier *id,
                                     const GEN_DocumentContent *source, uint32_t method,
                                     const FT_SpoolInfo *spool, FT_Result *result);

/* Writes inline content (octet-aligned, or arbitrary encoding of whole
 * bytes) into a new spool file. */
VR_EXPORT uint32_t FT_ExternalToFile(const GEN_DocumentContent *content,
                                     const GEN_DocumentIdentifier *id, const FT_SpoolInfo *spool,
                                     FT_Result *result);

/* Accepts the client of a socket server prepared by FT_RetrieveToFile (600
 * seconds at most) and receives its data. The prepared socket is closed
 * whatever happens. On success result->spool_name is the finished name
 * (without ".tmp") and result->size its length; a transfer of no data
 * fails. */
VR_EXPORT uint32_t FT_SocketServer(const GEN_DocumentIdentifier *id, const FT_SpoolInfo *spool,
                                   FT_Result *result);

/* Chunk-wise transfers, methods 447 and 449 only.
 * Sender (role 0, method 447): connects to `address`; when the content
 * names a file it is opened and FT_BufferToSend sends it chunk by chunk,
 * else FT_BufferToSend sends the `count` bytes the caller put in `data`.
 * Receiver (role 1): method 447 prepares a socket server whose address is
 * left in buffer->address and whose client FT_RetrieveToBuffer accepts;
 * method 449 opens the referenced file. FT_RetrieveToBuffer fills `data`
 * and sets `count`, 0 at the end of the data.
 * With `allocate` set, *buffer receives a new buffer of `size` bytes (4096
 * when 0); otherwise *buffer is the caller's, with data and size set. */
VR_EXPORT uint32_t FT_BufferInit(const GEN_DocumentIdentifier *id, const FT_SocketAddress *address,
                                 const GEN_DocumentContent *content, uint32_t method, size_t size,
                                 int role, FT_Buffer **buffer, int allocate);
VR_EXPORT uint32_t FT_BufferToSend(const GEN_DocumentIdentifier *id, FT_Buffer *buffer);
VR_EXPORT uint32_t FT_RetrieveToBuffer(const GEN_DocumentIdentifier *id, FT_Buffer *buffer);
/* Closes the file and the sockets; with `free_buffer` set, releases a
 * buffer made by FT_BufferInit. */
VR_EXPORT uint32_t FT_Finish(const GEN_DocumentIdentifier *id, FT_Buffer *buffer, int free_buffer);

/* Filters. FT_PPStartGetDataBuffer opens the newest version of the
 * document whose spool name (holding ".orig") is given: ".prev", else
 * ".orig", else `referenced` (portable path, may be NULL) for a document
 * kept by reference. FT_PPGetDataBuffer reads the next chunk (*count 0 and
 * *end 1 at the end). FT_PPStartSetDataBuffer creates ".curr";
 * FT_PPSetDataBuffer writes a chunk, and with `last` set finishes the
 * filter: ".curr" becomes ".prev". FT_PPAppendFileRemainder copies the
 * rest of the input to the output and finishes. FT_PPAbort closes both
 * and removes an unfinished ".curr". A failed filter is aborted. */
VR_EXPORT uint32_t FT_PPStartGetDataBuffer(const GEN_DocumentIdentifier *id, const char *spool_name,
                                           const char *referenced, FT_Filter *filter);
VR_EXPORT uint32_t FT_PPGetDataBuffer(const GEN_DocumentIdentifier *id, FT_Filter *filter,
                                      void *data, size_t size, size_t *count, int *end);
VR_EXPORT uint32_t FT_PPStartSetDataBuffer(const GEN_DocumentIdentifier *id, FT_Filter *filter);
VR_EXPORT uint32_t FT_PPSetDataBuffer(const GEN_DocumentIdentifier *id, FT_Filter *filter,
                                      const void *data, size_t count, int last);
VR_EXPORT uint32_t FT_PPAppendFileRemainder(const GEN_DocumentIdentifier *id, FT_Filter *filter);
VR_EXPORT uint32_t FT_PPAbort(const GEN_DocumentIdentifier *id, FT_Filter *filter);

/* The name of a version of a spooled document: `base` (a spool name
 * without ".orig") and the suffix of `kind` (FT_VERSION_*). Returns 0, or
 * FT_S_OTHER for a bad kind or a name that does not fit `size`. */
VR_EXPORT uint32_t FT_VersionName(const char *base, int kind, char *out, size_t size);

VR_END_DECLS

#endif /* VRCORE_FT_H */
