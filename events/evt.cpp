// Event queues and messages, and the module's C interface: building,
// sending one encoding per TCP connection, receiving synchronously or on a
// one-shot thread, reading the arguments back. The sockets are in
// evt_socket.cpp, the encoding in evt_wire.cpp.
#include "vrcore/evt.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "events/evt_internal.h"
#include "events/evt_socket.h"
#include "events/evt_wire.h"
#include "system/guard.h"
#include "system/vr_assert.h"
#include "system/fileio.h"
#include "vrcore/log.h"

namespace vrcore::events {

namespace {

constexpr uint32_t kQueueMagic = 0x45565451u;
constexpr int kDefaultTimeout = 60;
constexpr int kRetries = 5;

// ---- Pauses between connection attempts -------------------------------

void RealSleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::atomic<SleepFn> g_sleep{&RealSleep};

// ---- Records ----------------------------------------------------------

struct Message {
    bool received = false;
    MessagePdu *pdu = nullptr; // from the queue's hooks
    ArgNode *tail = nullptr;   // built: the last argument
    ArgNode *cursor = nullptr; // received: the next argument to read
};

struct ReceiveThread {
    std::thread thread;
    std::atomic<bool> done{false};
};

struct Queue {
    uint32_t magic = kQueueMagic;
    uint32_t id = 0;
    std::mutex mu; // guards what follows
    bool closed = false;
    std::map<uint32_t, Message> messages;
    uint32_t next_message = 1;
    Context ctx;
    int timeout = 0;
    bool sending = false;
    std::vector<sockaddr_in> remotes;
    // Receiving queues; the descriptors stay open until the record goes.
    int listen_fd = -1;
    int wake_fd = -1; // readable once the queue is closed
    uint16_t local_port = 0;
    EVT_Callback callback = nullptr; // the pending asynchronous receive
    std::list<std::shared_ptr<ReceiveThread>> threads;

    Queue() = default;
    Queue(const Queue &) = delete;
    Queue &operator=(const Queue &) = delete;
    ~Queue() {
        FreeMessages();
        if (listen_fd >= 0) close(listen_fd);
        if (wake_fd >= 0) close(wake_fd);
        ctx.Term();
        magic = 0;
    }
    void FreeMessages() {
        for (auto &[mid, m] : messages) ctx.FreePdu(kPduEventMessage, m.pdu);
        messages.clear();
    }
    // A fresh message id: never 0, never one in use.
    uint32_t NewMessageId() {
        for (;;) {
            uint32_t mid = next_message++;
            if (mid && !messages.count(mid)) return mid;
        }
    }
};

// ---- Module state -----------------------------------------------------

std::mutex g_mu; // guards what follows
int g_count = 0;
int g_timeout = kDefaultTimeout;
std::map<uint32_t, std::shared_ptr<Queue>> g_queues;
uint32_t g_next_queue = 1;

// The memory of the queues' encoding contexts passes the test seam.
void *SeamAlloc(size_t n) {
    return vrcore::system::seam::Alloc(vrcore::system::seam::Module::Events, n);
}
void SeamFree(void *p) { vrcore::system::seam::Release(vrcore::system::seam::Module::Events, p); }
constexpr vrcore::ber::Hooks kHooks{&SeamAlloc, &SeamFree};

// The send time-out from the environment.
int ReadTimeout() {
    const char *v = getenv("EVT_TIMEOUT");
    if (!v || !*v) return kDefaultTimeout;
    errno = 0;
    char *end = nullptr;
    long t = strtol(v, &end, 10);
    if (errno || *end || end == v || t < 0 || t > 0x7fffffffL / 1000) {
        LOG_CondMessage(5, __FILE__, __LINE__,
                        "EVT: EVT_TIMEOUT \"%s\" is not a number of seconds; using %d", v,
                        kDefaultTimeout);
        return kDefaultTimeout;
    }
    return static_cast<int>(t);
}

// Runs a public entry point: no exception leaves the library.
template <class F> int Guarded(F &&f) noexcept {
    try {
        return f();
    } catch (const std::bad_alloc &) {
        return EVT_E_NOMEM;
    } catch (...) {
        return EVT_E_THREAD;
    }
}

// Finds an open queue; the caller then works under the queue's mutex and
// checks that the queue is still open.
int Find(uint32_t queue_id, std::shared_ptr<Queue> &q) {
    std::lock_guard<std::mutex> lk(g_mu);
    if (!g_count) return EVT_E_NOINIT;
    auto it = g_queues.find(queue_id);
    if (it == g_queues.end()) return EVT_E_QUEUE;
    // The table holds live queue records under their own ids.
    VR_ASSERT(it->second && it->second->magic == kQueueMagic && it->second->id == queue_id);
    q = it->second;
    return EVT_E_OK;
}

// Gives the queue an id and links it into the module's list.
int Link(const std::shared_ptr<Queue> &q, uint32_t *queue_id) {
    std::lock_guard<std::mutex> lk(g_mu);
    if (!g_count) return EVT_E_NOINIT;
    uint32_t id;
    do {
        id = g_next_queue++;
    } while (!id || g_queues.count(id));
    q->id = id;
    g_queues.emplace(id, q);
    *queue_id = id;
    return EVT_E_OK;
}

// A new queue with its encoding context.
int NewQueue(std::shared_ptr<Queue> &q) {
    {
        std::lock_guard<std::mutex> lk(g_mu);
        if (!g_count) return EVT_E_NOINIT;
    }
    q = std::make_shared<Queue>();
    {
        std::lock_guard<std::mutex> lk(g_mu);
        q->timeout = g_timeout;
    }
    if (!q->ctx.Init(kHooks)) return EVT_E_CONTEXT;
    return EVT_E_OK;
}

// ---- Opening ----------------------------------------------------------

int OpenSending(const GEN_Text *remote, uint32_t *queue_id) {
    if (remote->kind != GEN_KIND_CODESET || remote->u.octets.length < 1 || !remote->u.octets.value)
        return EVT_E_ARGUMENT;
    std::shared_ptr<Queue> q;
    if (int r = NewQueue(q)) return r;
    std::string_view text(reinterpret_cast<const char *>(remote->u.octets.value),
                          static_cast<size_t>(remote->u.octets.length));
    uint16_t port = 0;
    if (int r = Resolve(text, &port, q->remotes)) return r;
    q->sending = true;
    return Link(q, queue_id);
}

// A listening socket on `port` (0: any free port).
int OpenReceiving(uint16_t port, uint16_t *bound, uint32_t *queue_id) {
    std::shared_ptr<Queue> q;
    if (int r = NewQueue(q)) return r;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return EVT_E_SOCKET;
    q->listen_fd = fd;
    int size = kSocketBuffer, one = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0 ||
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0)
        return EVT_E_SOCKET;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    sa.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        LOG_CondMessage(5, __FILE__, __LINE__, "EVT: cannot bind port %u: %s", port,
                        strerror(errno));
        return errno == EADDRINUSE ? EVT_E_BUSY : EVT_E_SOCKET;
    }
    socklen_t len = sizeof sa;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len) != 0) return EVT_E_SOCKET;
    uint16_t got = ntohs(sa.sin_port);
    if (port && got != port) return EVT_E_SOCKET;
    // A deep backlog: a burst of senders is queued rather than refused.
    if (listen(fd, SOMAXCONN) != 0) return errno == EADDRINUSE ? EVT_E_BUSY : EVT_E_SOCKET;
    q->wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (q->wake_fd < 0) return EVT_E_SOCKET;
    q->local_port = got;
    if (int r = Link(q, queue_id)) return r;
    if (bound) *bound = got;
    return EVT_E_OK;
}

// ---- Sending ----------------------------------------------------------

// Sends a message; the caller holds the queue's mutex.
int SendLocked(Queue &q, const Message &m) {
    if (!m.pdu || !m.pdu->first) return EVT_E_NOARG;
    uint32_t length = 0;
    unsigned char *bytes = nullptr;
    std::string error;
    int er = q.ctx.Encode(kPduEventMessage, m.pdu, &length, &bytes, &error);
    if (er != vrcore::ber::kOk) {
        LOG_CondMessage(5, __FILE__, __LINE__, "EVT: the message cannot be encoded: %s",
                        error.c_str());
        return er == vrcore::ber::kNoMemory ? EVT_E_NOMEM : EVT_E_ENCODE;
    }
    struct Release {
        const Context &ctx;
        unsigned char *p;
        ~Release() { ctx.FreeBytes(p); }
    } release{q.ctx, bytes};
    if (length > kMaxMessageBytes) {
        LOG_CondMessage(5, __FILE__, __LINE__,
                        "EVT: a message of %u bytes exceeds the limit of %zu", length,
                        kMaxMessageBytes);
        return EVT_E_ENCODE;
    }

    Fd conn;
    int last = 0;
    SleepFn sleep = g_sleep.load();
    for (const sockaddr_in &to : q.remotes) {
        for (int attempt = 0;; ++attempt) {
            last = ConnectOnce(to, q.timeout, conn);
            if (last == 0) break;
            if (last < 0) return EVT_E_SOCKET;
            if (last != ECONNREFUSED || attempt == kRetries) break;
            sleep((1u << attempt) * 1000u);
        }
        if (last == 0) break;
        char addr[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &to.sin_addr, addr, sizeof addr);
        LOG_CondMessage(5, __FILE__, __LINE__, "EVT: cannot connect to %s:%u: %s", addr,
                        ntohs(to.sin_port), strerror(last));
    }
    if (last != 0) return last == ETIMEDOUT ? EVT_E_TIMEOUT : EVT_E_SOCKET;
    return WriteAll(conn.fd, bytes, length, q.timeout);
}

// ---- Receiving --------------------------------------------------------

// Waits for one connection and decodes its message. No lock is held: the
// descriptors live as long as the record and the hooks never change.
// Errors of the connection (not of the listening socket) are marked in
// *connection_fault.
int ReceiveOne(Queue &q, const Deadline &d, MessagePdu **out, bool *connection_fault) {
    *out = nullptr;
    *connection_fault = false;
    Fd conn;
    for (;;) {
        int w = Wait(q.listen_fd, POLLIN, q.wake_fd, d);
        if (w == kClosed) return kClosed;
        if (w == 0) return EVT_E_TIMEOUT;
        if (w < 0) return EVT_E_SOCKET;
        int fd = accept4(q.listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            conn.Reset(fd);
            break;
        }
        // Another receiver took it, or the peer went away: wait again.
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED ||
            errno == EPROTO)
            continue;
        LOG_CondMessage(5, __FILE__, __LINE__, "EVT: accept failed: %s", strerror(errno));
        return EVT_E_SOCKET;
    }
    *connection_fault = true;
    int size = kSocketBuffer;
    if (setsockopt(conn.fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0) return EVT_E_SOCKET;
    // Without a limit of its own, a receive still bounds how long one
    // sender may take over its message.
    Deadline data = d.limited ? d : Deadline::After(q.timeout);
    std::vector<unsigned char> buf;
    size_t length = 0;
    int r = ReadOne(conn.fd, q.wake_fd, data, buf, &length);
    if (r == kClosed) *connection_fault = false;
    if (r) return r;
    std::string error;
    int dr = DecodeMessage(q.ctx, buf.data(), length, out, &error);
    if (dr == vrcore::ber::kOk) return EVT_E_OK;
    LOG_CondMessage(5, __FILE__, __LINE__, "EVT: a received message cannot be decoded: %s",
                    error.c_str());
    if (dr == vrcore::ber::kNoMemory) return EVT_E_NOMEM;
    return EVT_E_DECODE;
}

// Links a received message into its queue; the PDU is released on failure.
int Deliver(Queue &q, MessagePdu *pdu, uint32_t *message_id) {
    std::lock_guard<std::mutex> lk(q.mu);
    if (q.closed) {
        q.ctx.FreePdu(kPduEventMessage, pdu);
        return EVT_E_QUEUE;
    }
    try {
        uint32_t mid = q.NewMessageId();
        Message &m = q.messages[mid];
        m.received = true;
        m.pdu = pdu;
        m.cursor = pdu->first;
        *message_id = mid;
        return EVT_E_OK;
    } catch (const std::bad_alloc &) {
        q.ctx.FreePdu(kPduEventMessage, pdu);
        return EVT_E_NOMEM;
    }
}

int ReceiveNow(Queue &q, int timeout, uint32_t *message_id) {
    MessagePdu *pdu = nullptr;
    bool fault = false;
    int r = ReceiveOne(q, Deadline::After(timeout), &pdu, &fault);
    if (r == kClosed) return EVT_E_QUEUE;
    if (r) return r;
    return Deliver(q, pdu, message_id);
}

void ReceiveThreadMain(std::shared_ptr<Queue> q, std::shared_ptr<ReceiveThread> self) {
    uint32_t mid = 0;
    bool deliver = true;
    for (;;) {
        MessagePdu *pdu = nullptr;
        bool fault = false;
        int r = ReceiveOne(*q, Deadline{}, &pdu, &fault);
        if (r == kClosed) {
            deliver = false;
            break;
        }
        if (r == EVT_E_OK) {
            r = Deliver(*q, pdu, &mid);
            if (r == EVT_E_QUEUE) deliver = false;
            break;
        }
        // A sender that failed its message does not end the receive.
        if (!fault) break;
    }
    EVT_Callback cb;
    {
        std::lock_guard<std::mutex> lk(q->mu);
        cb = q->callback;
        q->callback = nullptr; // the callback may start the next receive
        if (q->closed) deliver = false;
    }
    if (deliver && cb) cb(q->id, mid);
    self->done = true;
}

int ReceiveLater(const std::shared_ptr<Queue> &q, EVT_Callback callback) {
    std::lock_guard<std::mutex> lk(q->mu);
    if (q->closed) return EVT_E_QUEUE;
    if (q->callback) return EVT_E_BUSY;
    // Threads whose receive has ended have nothing left to do.
    for (auto it = q->threads.begin(); it != q->threads.end();) {
        if ((*it)->done && (*it)->thread.get_id() != std::this_thread::get_id()) {
            if ((*it)->thread.joinable()) (*it)->thread.join();
            it = q->threads.erase(it);
        } else {
            ++it;
        }
    }
    auto rec = std::make_shared<ReceiveThread>();
    q->threads.push_back(rec);
    q->callback = callback;
    try {
        rec->thread = std::thread(ReceiveThreadMain, q, rec);
    } catch (...) {
        q->callback = nullptr;
        q->threads.pop_back();
        LOG_CondMessage(5, __FILE__, __LINE__, "EVT: cannot start a receive thread");
        return EVT_E_THREAD;
    }
    return EVT_E_OK;
}

// ---- Messages ---------------------------------------------------------

// Looks up an open queue of the wanted kind and runs `f` under the
// queue's mutex.
template <class F> int WithQueue(uint32_t queue_id, bool sending, F &&f) {
    std::shared_ptr<Queue> q;
    if (int r = Find(queue_id, q)) return r;
    std::lock_guard<std::mutex> lk(q->mu);
    if (q->closed) return EVT_E_QUEUE;
    if (q->sending != sending) return EVT_E_QUEUEKIND;
    return f(*q);
}

// The same for a message on the queue.
template <class F> int WithMessage(uint32_t queue_id, uint32_t message_id, bool sending, F &&f) {
    return WithQueue(queue_id, sending, [&](Queue &q) {
        auto it = q.messages.find(message_id);
        if (it == q.messages.end()) return EVT_E_MESSAGE;
        return f(q, it->second);
    });
}

// Appends an argument with `n` bytes (text or binary) or an integer.
int Append(Queue &q, Message &m, uint16_t kind, const void *bytes, uint32_t n, int32_t value) {
    auto *node = static_cast<ArgNode *>(q.ctx.hooks.alloc(sizeof(ArgNode)));
    if (!node) return EVT_E_NOMEM;
    memset(node, 0, sizeof *node);
    node->arg.kind = kind;
    if (kind == kArgInteger) {
        node->arg.u.integer = value;
    } else if (n) {
        auto *copy = static_cast<unsigned char *>(q.ctx.hooks.alloc(n));
        if (!copy) {
            q.ctx.hooks.free(node);
            return EVT_E_NOMEM;
        }
        memcpy(copy, bytes, n);
        node->arg.u.bytes = Bytes{n, copy};
    }
    if (m.tail)
        m.tail->next = node;
    else
        m.pdu->first = node;
    m.tail = node;
    return EVT_E_OK;
}

// The argument under the read cursor, which must be of `kind`.
int Next(Message &m, uint16_t kind, ArgNode **node) {
    if (!m.cursor) return EVT_E_NOARG;
    if (m.cursor->arg.kind != kind) return EVT_E_ARGTYPE;
    *node = m.cursor;
    return EVT_E_OK;
}

} // namespace

SleepFn SetSleep(SleepFn fn) { return g_sleep.exchange(fn ? fn : &RealSleep); }

int AddRemote(uint32_t queue_id, uint32_t address, uint16_t port) {
    return Guarded([&] {
        return WithQueue(queue_id, true, [&](Queue &q) {
            sockaddr_in sa{};
            sa.sin_family = AF_INET;
            sa.sin_addr.s_addr = htonl(address);
            sa.sin_port = htons(port);
            q.remotes.push_back(sa);
            return EVT_E_OK;
        });
    });
}

} // namespace vrcore::events

using namespace vrcore::events;

extern "C" {

int EVT_Init(void) try {
    std::lock_guard<std::mutex> lk(g_mu);
    if (g_count == 0x7fffffff) return EVT_E_THREAD;
    if (g_count++ == 0) g_timeout = ReadTimeout();
    return EVT_E_OK;
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

int EVT_Term(void) try {
    std::lock_guard<std::mutex> lk(g_mu);
    if (!g_count) return EVT_E_NOINIT;
    if (!g_queues.empty()) return EVT_E_BUSY;
    --g_count;
    return EVT_E_OK;
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

int EVT_Open(const GEN_Text *remote, uint16_t *local_port, uint32_t *queue_id) try {
    if (!queue_id) return EVT_E_ARGUMENT;
    *queue_id = 0;
    return Guarded([&] {
        if (remote) return OpenSending(remote, queue_id);
        return OpenReceiving(0, local_port, queue_id);
    });
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

int EVT_GetRegisteredPort(uint16_t *port) try {
    if (!port) return EVT_E_ARGUMENT;
    *port = RegisteredPort();
    return EVT_E_OK;
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

int EVT_OpenRegisteredPort(uint16_t *port, uint32_t *queue_id) try {
    if (!queue_id) return EVT_E_ARGUMENT;
    *queue_id = 0;
    return Guarded([&] { return OpenReceiving(RegisteredPort(), port, queue_id); });
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

int EVT_Close(uint32_t queue_id) try {
    return Guarded([&] {
        std::shared_ptr<Queue> q;
        {
            std::lock_guard<std::mutex> lk(g_mu);
            if (!g_count) return EVT_E_NOINIT;
            auto it = g_queues.find(queue_id);
            if (it == g_queues.end()) return EVT_E_QUEUE;
            q = it->second;
            g_queues.erase(it);
        }
        std::list<std::shared_ptr<ReceiveThread>> threads;
        {
            std::lock_guard<std::mutex> lk(q->mu);
            q->closed = true;
            if (q->wake_fd >= 0) {
                uint64_t one = 1;
                ssize_t k = write(q->wake_fd, &one, sizeof one);
                (void)k;
            }
            q->FreeMessages();
            threads.swap(q->threads);
        }
        for (auto &t : threads) {
            if (!t->thread.joinable()) continue;
            if (t->thread.get_id() == std::this_thread::get_id())
                t->thread.detach(); // closed from its own callback
            else
                t->thread.join();
        }
        return EVT_E_OK;
    });
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

int EVT_MessageCreate(uint32_t queue_id, uint32_t *message_id) try {
    if (!message_id) return EVT_E_ARGUMENT;
    *message_id = 0;
    return Guarded([&] {
        return WithQueue(queue_id, true, [&](Queue &q) {
            auto *pdu = static_cast<MessagePdu *>(q.ctx.hooks.alloc(sizeof(MessagePdu)));
            if (!pdu) return EVT_E_NOMEM;
            pdu->first = nullptr;
            try {
                uint32_t mid = q.NewMessageId();
                q.messages[mid].pdu = pdu;
                *message_id = mid;
            } catch (const std::bad_alloc &) {
                q.ctx.hooks.free(pdu);
                return EVT_E_NOMEM;
            }
            return EVT_E_OK;
        });
    });
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

int EVT_MessageArgPut(uint32_t queue_id, uint32_t message_id, const char *text) try {
    if (!text) return EVT_E_ARGUMENT;
    size_t n = strlen(text);
    if (n >= 0xffffffffu) return EVT_E_ARGUMENT;
    return Guarded([&] {
        return WithMessage(queue_id, message_id, true, [&](Queue &q, Message &m) {
            return Append(q, m, kArgText, text, static_cast<uint32_t>(n + 1), 0);
        });
    });
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

int EVT_MessageBArgPut(uint32_t queue_id, uint32_t message_id, uint32_t length,
                       const void *bytes) try {
    if (length && !bytes) return EVT_E_ARGUMENT;
    return Guarded([&] {
        return WithMessage(queue_id, message_id, true, [&](Queue &q, Message &m) {
            return Append(q, m, kArgBinary, bytes, length, 0);
        });
    });
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

int EVT_MessageIArgPut(uint32_t queue_id, uint32_t message_id, int32_t value) try {
    return Guarded([&] {
        return WithMessage(queue_id, message_id, true, [&](Queue &q, Message &m) {
            return Append(q, m, kArgInteger, nullptr, 0, value);
        });
    });
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

int EVT_MessageSend(uint32_t queue_id, uint32_t message_id) try {
    return Guarded([&] {
        return WithMessage(queue_id, message_id, true,
                           [&](Queue &q, Message &m) { return SendLocked(q, m); });
    });
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

int EVT_MessageReceive(uint32_t queue_id, int32_t timeout, EVT_Callback callback,
                       uint32_t *message_id) try {
    if (message_id && timeout >= 0) *message_id = 0;
    return Guarded([&] {
        bool later = timeout == -1 && callback;
        if (!later && !(timeout >= 0 && message_id)) return EVT_E_ARGUMENT;
        std::shared_ptr<Queue> q;
        if (int r = Find(queue_id, q)) return r;
        {
            std::lock_guard<std::mutex> lk(q->mu);
            if (q->closed) return EVT_E_QUEUE;
            if (q->sending) return EVT_E_QUEUEKIND;
        }
        if (later) return ReceiveLater(q, callback);
        return ReceiveNow(*q, timeout, message_id);
    });
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

int EVT_MessageArgGet(uint32_t queue_id, uint32_t message_id, uint32_t size, char *buffer) try {
    if (!buffer) return EVT_E_ARGUMENT;
    return Guarded([&] {
        return WithMessage(queue_id, message_id, false, [&](Queue &, Message &m) {
            ArgNode *n;
            if (int r = Next(m, kArgText, &n)) return r;
            const Bytes &b = n->arg.u.bytes;
            if (b.length > size) return EVT_E_BUFFER;
            memcpy(buffer, b.value, b.length);
            m.cursor = n->next;
            return EVT_E_OK;
        });
    });
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

int EVT_MessageBArgGet(uint32_t queue_id, uint32_t message_id, uint32_t *size, void *buffer) try {
    if (!size) return EVT_E_ARGUMENT;
    return Guarded([&] {
        return WithMessage(queue_id, message_id, false, [&](Queue &, Message &m) {
            ArgNode *n;
            if (int r = Next(m, kArgBinary, &n)) return r;
            const Bytes &b = n->arg.u.bytes;
            if (b.length > *size) {
                *size = b.length;
                return EVT_E_BUFFER;
            }
            if (b.length) {
                if (!buffer) return EVT_E_ARGUMENT;
                memcpy(buffer, b.value, b.length);
            }
            *size = b.length;
            m.cursor = n->next;
            return EVT_E_OK;
        });
    });
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

int EVT_MessageIArgGet(uint32_t queue_id, uint32_t message_id, int32_t *value) try {
    if (!value) return EVT_E_ARGUMENT;
    return Guarded([&] {
        return WithMessage(queue_id, message_id, false, [&](Queue &, Message &m) {
            ArgNode *n;
            if (int r = Next(m, kArgInteger, &n)) return r;
            *value = n->arg.u.integer;
            m.cursor = n->next;
            return EVT_E_OK;
        });
    });
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

int EVT_MessageFree(uint32_t queue_id, uint32_t message_id) try {
    return Guarded([&] {
        std::shared_ptr<Queue> q;
        if (int r = Find(queue_id, q)) return r;
        std::lock_guard<std::mutex> lk(q->mu);
        if (q->closed) return EVT_E_QUEUE;
        auto it = q->messages.find(message_id);
        if (it == q->messages.end()) return EVT_E_MESSAGE;
        q->ctx.FreePdu(kPduEventMessage, it->second.pdu);
        q->messages.erase(it);
        return EVT_E_OK;
    });
}
VR_CATCH_CODE(EVT_E_NOMEM, EVT_E_INTERNAL)

} // extern "C"
