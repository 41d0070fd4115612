// Entry points of document transfer: choosing the transfer for a method,
// and the chunk-wise transfers through a transfer buffer.

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "system/guard.h"
#include "transfer/ft_internal.h"

using namespace vrcore::transfer;

namespace {

// The referenced file's native path. 0 or an FT_S_ code.
uint32_t ReferencedPath(Doc d, const char *fn, const GEN_DocumentContent *content,
                        std::string &out) {
    if (!content) {
        FT_LOG(5, d, "%s: no document content\n", fn);
        return FT_S_NOCONTENT;
    }
    if (content->choice != GEN_CONTENT_REFERENCED) {
        FT_LOG(5, d, "%s: the document content is no file reference\n", fn);
        return FT_S_NOCONTENT;
    }
    const GEN_OctetString &ref = content->u.referenced.specific_reference;
    if (ref.length <= 0 || !ref.value) {
        FT_LOG(5, d, "%s: no file name\n", fn);
        return FT_S_NOCONTENT;
    }
    if (!NativePath(ref.value, static_cast<size_t>(ref.length), out)) {
        FT_LOG(5, d, "%s: path conversion failed\n", fn);
        return FT_S_OTHER;
    }
    return 0;
}

bool AddressOk(const FT_SocketAddress *a) {
    return a && a->kind == 1 && a->address_length == 4 && a->port != 0;
}

// Opens the referenced file for reading into `fd`. 0 or an FT_S_ code.
uint32_t OpenReferenced(Doc d, const char *fn, const GEN_DocumentContent *content, int &fd) {
    std::string path;
    if (uint32_t rc = ReferencedPath(d, fn, content, path)) return rc;
    return OpenDocument(d, fn, path, fd);
}

FT_SocketAddress OwnAddress(uint16_t port) {
    FT_SocketAddress a{};
    a.kind = 1;
    a.port = port;
    a.address_length = 4;
    return a;
}

} // namespace

extern "C" uint32_t FT_Init(void) try {
    FT_LOG(7, (Doc{"", 0}), "FT_Init\n");
    return 0;
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)

extern "C" uint32_t FT_Shutdown(void) try {
    FT_LOG(7, (Doc{"", 0}), "FT_Shutdown\n");
    return 0;
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)

extern "C" uint32_t FT_Cancel(const GEN_DocumentIdentifier *id) try {
    FT_LOG(7, DocOf(id), "FT_Cancel\n");
    return 0;
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)

extern "C" uint32_t FT_FileToSend(const GEN_DocumentIdentifier *id, const FT_SocketAddress *address,
                                  const GEN_DocumentContent *content, uint32_t method,
                                  uint64_t *sent) try {
    Doc d = DocOf(id);
    if (sent) *sent = 0;
    if (!id) {
        FT_LOG(5, d, "FT_FileToSend: no document ID\n");
        return FT_S_NODOCID;
    }
    if (method == FT_METHOD_FTP) {
        FT_LOG(5, d, "FT_FileToSend: FTP transfer method unsupported\n");
        return FT_S_OTHER;
    }
    if (method != FT_METHOD_SOCKET) {
        FT_LOG(5, d, "FT_FileToSend: unknown transfer method\n");
        return FT_S_OTHER;
    }
    if (!address) {
        FT_LOG(5, d, "FT_FileToSend: no RPC address\n");
        return FT_S_OTHER;
    }
    if (!AddressOk(address)) {
        FT_LOG(5, d, "FT_FileToSend: bad socket address\n");
        return FT_S_OTHER;
    }
    try {
        int fd = -1;
        if (uint32_t rc = OpenReferenced(d, "FT_FileToSend", content, fd)) return rc;
        int sock = ConnectRetrying(*address, d);
        if (sock < 0) {
            ::close(fd);
            FT_LOG(5, d, "FT_FileToSend: cannot connect\n");
            return FT_S_OTHER;
        }
        uint64_t n = 0;
        uint32_t rc = SendFile(sock, fd, d, n);
        ::close(fd);
        // Lingering: close waits until the data has been delivered.
        if (::close(sock) != 0 && errno != EINTR && rc == 0) {
            FT_LOG(5, d, "Socket_ClientFile: socket transfer failed\n");
            rc = FT_S_FAILED;
        }
        if (rc == 0 && sent) *sent = n;
        return rc;
    } catch (const std::bad_alloc &) {
        return FT_S_NOMEM;
    }
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)

extern "C" uint32_t FT_RetrieveToFile(const GEN_DocumentIdentifier *id,
                                      const GEN_DocumentContent *source, uint32_t method,
                                      const FT_SpoolInfo *spool, FT_Result *result) try {
    Doc d = DocOf(id);
    if (!id) {
        FT_LOG(5, d, "FT_RetrieveToFile: no document ID\n");
        return FT_S_NODOCID;
    }
    if (!result) {
        FT_LOG(5, d, "FT_RetrieveToFile: no result\n");
        return FT_S_OTHER;
    }
    result->spool_name[0] = '\0';
    result->size = 0;
    result->address = FT_SocketAddress{};
    result->listen_socket = -1;
    try {
        if (method == FT_METHOD_WITH_REQUEST) return FT_ExternalToFile(source, id, spool, result);
        std::string dir;
        if (method == FT_METHOD_SOCKET) {
            if (uint32_t rc = SpoolDir(spool, dir)) return rc;
            uint16_t port = 0;
            int s = ListenAny(port);
            if (s < 0) {
                FT_LOG(5, d, "FT_RetrieveToFile: no socket, errno=%d\n", errno);
                return FT_S_OTHER;
            }
            FT_LOG(6, d, "Socket_ServerFile:  port = %d\n", port);
            if (!PutName(result->spool_name, sizeof result->spool_name, SpoolName(dir, d, true))) {
                ::close(s);
                return FT_S_OTHER;
            }
            result->address = OwnAddress(port);
            result->listen_socket = s;
            return 0;
        }
        if (method == FT_METHOD_FILE_REFERENCE) {
            std::string path;
            if (uint32_t rc = ReferencedPath(d, "FT_RetrieveToFile", source, path)) return rc;
            if (uint32_t rc = SpoolDir(spool, dir)) return rc;
            return CopyReference(d, path, dir, result);
        }
        if (method == FT_METHOD_FTP) {
            if (!source || source->choice != GEN_CONTENT_REFERENCED ||
                source->u.referenced.specific_reference.length <= 0 ||
                !source->u.referenced.specific_reference.value) {
                FT_LOG(5, d, "FT_RetrieveToFile: no FTP source\n");
                return FT_S_NOCONTENT;
            }
            const GEN_OctetString &ref = source->u.referenced.specific_reference;
            std::string host, path;
            uint16_t port = 21;
            if (!ParseFtpSource(std::string_view(reinterpret_cast<const char *>(ref.value),
                                                 static_cast<size_t>(ref.length)),
                                host, port, path)) {
                FT_LOG(5, d, "FT_RetrieveToFile: bad FTP source\n");
                return FT_S_OTHER;
            }
            if (uint32_t rc = SpoolDir(spool, dir)) return rc;
            return FtpRetrieve(d, host, port, path, dir, result);
        }
        FT_LOG(5, d, "FT_RetrieveToFile: unknown transfer method\n");
        return FT_S_OTHER;
    } catch (const std::bad_alloc &) {
        return FT_S_NOMEM;
    }
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)

// ---------------------------------------------------------------------------
// Buffer-wise transfers.

extern "C" uint32_t FT_BufferInit(const GEN_DocumentIdentifier *id, const FT_SocketAddress *address,
                                  const GEN_DocumentContent *content, uint32_t method, size_t size,
                                  int role, FT_Buffer **buffer, int allocate) try {
    Doc d = DocOf(id);
    if (!id) {
        FT_LOG(5, d, "FT_BufferInit: no document ID\n");
        return FT_S_NODOCID;
    }
    if (!buffer || (role != FT_ROLE_SENDER && role != FT_ROLE_RECEIVER)) {
        FT_LOG(5, d, "FT_BufferInit: missing arguments\n");
        return FT_S_OTHER;
    }
    if (method == FT_METHOD_WITH_REQUEST || method == FT_METHOD_FTP) {
        FT_LOG(5, d, "FT_BufferInit: transfer method unsupported\n");
        return FT_S_OTHER;
    }
    if (method != FT_METHOD_SOCKET && method != FT_METHOD_FILE_REFERENCE) {
        FT_LOG(5, d, "FT_BufferInit: unknown transfer method\n");
        return FT_S_OTHER;
    }
    if (role == FT_ROLE_SENDER && method != FT_METHOD_SOCKET) {
        FT_LOG(5, d, "FT_BufferInit: a file reference has nothing to send\n");
        return FT_S_OTHER;
    }
    if (role == FT_ROLE_SENDER && !address) {
        FT_LOG(5, d, "FT_BufferInit: no RPC address\n");
        return FT_S_OTHER;
    }
    if (role == FT_ROLE_SENDER && !AddressOk(address)) {
        FT_LOG(5, d, "FT_BufferInit: bad socket address\n");
        return FT_S_OTHER;
    }
    FT_Buffer *b = *buffer;
    if (allocate) {
        if (size == 0) size = 4096;
        b = static_cast<FT_Buffer *>(vrcore::transfer::Allocate(sizeof *b));
        unsigned char *data =
            b ? static_cast<unsigned char *>(vrcore::transfer::Allocate(size)) : nullptr;
        if (!data) {
            Release(b);
            FT_LOG(5, d, "FT_BufferInit: out of memory\n");
            return FT_S_NOMEM;
        }
        std::memset(b, 0, sizeof *b);
        b->data = data;
        b->size = size;
        b->allocated = 1;
    } else if (!b || !b->data || b->size == 0) {
        FT_LOG(5, d, "FT_BufferInit: no buffer\n");
        return FT_S_OTHER;
    } else {
        b->allocated = 0;
    }
    b->count = 0;
    b->fd = b->socket = b->listen_socket = -1;
    b->address = address ? *address : FT_SocketAddress{};
    uint32_t rc = 0;
    try {
        if (role == FT_ROLE_SENDER) {
            if (content) rc = OpenReferenced(d, "FT_BufferInit", content, b->fd);
            if (rc == 0) {
                b->socket = ConnectRetrying(*address, d);
                if (b->socket < 0) rc = FT_S_OTHER;
            }
        } else if (method == FT_METHOD_SOCKET) {
            uint16_t port = 0;
            b->listen_socket = ListenAny(port);
            if (b->listen_socket < 0) {
                FT_LOG(5, d, "FT_BufferInit: no socket, errno=%d\n", errno);
                rc = FT_S_OTHER;
            } else {
                FT_LOG(6, d, "Socket_ServerFile:  port = %d\n", port);
                b->address = OwnAddress(port);
            }
        } else {
            rc = OpenReferenced(d, "FT_BufferInit", content, b->fd);
        }
    } catch (const std::bad_alloc &) {
        rc = FT_S_NOMEM;
    }
    if (rc != 0) {
        FT_Finish(id, b, 1);
        if (allocate) *buffer = nullptr;
        return rc;
    }
    *buffer = b;
    return 0;
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)

namespace {

// The arguments every chunk-wise transfer needs. 0 or an FT_S_ code.
uint32_t BufferOk(const char *fn, Doc d, const GEN_DocumentIdentifier *id,
                  const FT_Buffer *buffer) {
    if (!id) return FT_S_NODOCID;
    if (!buffer || !buffer->data) {
        FT_LOG(5, d, "%s: no buffer\n", fn);
        return FT_S_OTHER;
    }
    return 0;
}

} // namespace

extern "C" uint32_t FT_BufferToSend(const GEN_DocumentIdentifier *id, FT_Buffer *buffer) try {
    Doc d = DocOf(id);
    if (uint32_t rc = BufferOk("FT_BufferToSend", d, id, buffer)) return rc;
    if (buffer->socket < 0) {
        FT_LOG(5, d, "FT_BufferToSend: no connection\n");
        return FT_S_BADFD;
    }
    if (buffer->fd >= 0) {
        long r = ReadSome(buffer->fd, buffer->data, buffer->size);
        if (r < 0) {
            FT_LOG(5, d, "Socket_ClientFile: socket transfer failed\n");
            return FT_S_FAILED;
        }
        buffer->count = static_cast<size_t>(r);
    } else if (buffer->count > buffer->size) {
        FT_LOG(5, d, "FT_BufferToSend: count beyond the buffer\n");
        return FT_S_OTHER;
    }
    uint64_t sent = 0;
    if (!SendAll(buffer->socket, buffer->data, buffer->count, sent)) {
        FT_LOG(5, d, "Socket_ClientFile: socket transfer failed\n");
        return FT_S_FAILED;
    }
    return 0;
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)

extern "C" uint32_t FT_RetrieveToBuffer(const GEN_DocumentIdentifier *id, FT_Buffer *buffer) try {
    Doc d = DocOf(id);
    if (uint32_t rc = BufferOk("FT_RetrieveToBuffer", d, id, buffer)) return rc;
    buffer->count = 0;
    if (buffer->socket < 0 && buffer->listen_socket >= 0) {
        buffer->socket = AcceptWithin(buffer->listen_socket, AcceptTimeoutMs());
        int e = errno;
        CloseFd(buffer->listen_socket);
        if (buffer->socket < 0) {
            if (e == ETIMEDOUT)
                FT_LOG(5, d, "SocketAccept: socket transfer timeout\n");
            else
                FT_LOG(5, d, "FT_RetrieveToBuffer: accept failed, errno=%d\n", e);
            return FT_S_OTHER;
        }
        // A client silent for as long as one may take to arrive is gone.
        long idle_ms = AcceptTimeoutMs();
        timeval tv{idle_ms / 1000, (idle_ms % 1000) * 1000};
        ::setsockopt(buffer->socket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    if (buffer->socket >= 0) {
        for (int transient = 0;;) {
            ssize_t r = ::recv(buffer->socket, buffer->data, buffer->size, 0);
            if (r >= 0) {
                buffer->count = static_cast<size_t>(r);
                return 0;
            }
            if (ConnectionGone(errno) || ++transient >= 1000) {
                FT_LOG(5, d, "FT_RetrieveToBuffer: receive failed, errno=%d\n", errno);
                return FT_S_FAILED;
            }
        }
    }
    if (buffer->fd >= 0) {
        long r = ReadSome(buffer->fd, buffer->data, buffer->size);
        if (r < 0) {
            FT_LOG(5, d, "FT_RetrieveToBuffer: read failed, errno=%d\n", errno);
            return FT_S_FAILED;
        }
        buffer->count = static_cast<size_t>(r);
        return 0;
    }
    FT_LOG(5, d, "FT_RetrieveToBuffer: nothing to read from\n");
    return FT_S_BADFD;
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)

extern "C" uint32_t FT_Finish(const GEN_DocumentIdentifier *id, FT_Buffer *buffer,
                              int free_buffer) try {
    FT_LOG(7, DocOf(id), "FT_Finish\n");
    if (!buffer) return FT_S_OTHER;
    CloseFd(buffer->fd);
    CloseFd(buffer->socket);
    CloseFd(buffer->listen_socket);
    if (free_buffer && buffer->allocated) {
        Release(buffer->data);
        Release(buffer);
    }
    return 0;
}
VR_CATCH_CODE(FT_S_NOMEM, FT_S_INTERNAL)
