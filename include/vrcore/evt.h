/* vrcore event messages: small typed messages between processes over TCP.
 *
 * A sender opens a sending queue towards "host:port", builds a message of
 * integer, text and binary arguments and sends it; a receiver opens a
 * receiving queue on a local port and receives messages by waiting or
 * through a one-shot callback thread, then reads their arguments in order.
 * Each message travels as one BER encoding on a TCP connection of its own.
 *
 * Every function returns one of the EVT_E numbers below (0 on success).
 *
 * Limits and time-outs:
 * - The encoding of one message is at most EVT_MAX_MESSAGE_BYTES (1 MiB).
 *   A larger message is not sent (EVT_E_ENCODE); a peer that announces or
 *   sends more is dropped (EVT_E_DECODE) before more than that is read.
 * - The send time-out is the environment variable EVT_TIMEOUT (seconds,
 *   read by the first EVT_Init; default 60, 0 = no limit; a value that is
 *   not a non-negative decimal number means the default). It bounds the
 *   connect of each attempt and the whole writing of a message.
 * - A receive's time-out is one deadline for the whole receive: waiting
 *   for a connection and reading the message. When a receive waits without
 *   limit, reading an accepted connection is still bounded by the send
 *   time-out, so a stalled peer cannot hold it forever.
 * - A refused connection is retried on the same address after 1, 2, 4, 8
 *   and 16 seconds before the next address is tried.
 */
#ifndef VRCORE_EVT_H
#define VRCORE_EVT_H

#include "gen.h"
#include "vrdefs.h"

VR_BEGIN_DECLS

/* Error numbers. */
#define EVT_E_OK 0
#define EVT_E_QUEUE 1      /* unknown queue id */
#define EVT_E_NOINIT 2     /* module not initialised */
#define EVT_E_THREAD 3     /* a mutex or the receive thread failed */
#define EVT_E_NOMEM 4      /* memory exhausted */
#define EVT_E_MESSAGE 5    /* unknown message id */
#define EVT_E_BUFFER 7     /* buffer too small */
#define EVT_E_TIMEOUT 11   /* timed out */
#define EVT_E_ARGUMENT 12  /* bad argument */
#define EVT_E_ENCODE 13    /* the message could not be encoded */
#define EVT_E_DECODE 14    /* a received message could not be decoded */
#define EVT_E_CONTEXT 15   /* the encoding context could not be set up */
#define EVT_E_SOCKET 16    /* socket failure */
#define EVT_E_NOARG 17     /* no (more) arguments */
#define EVT_E_ARGTYPE 18   /* the next argument has another type */
#define EVT_E_BUSY 19      /* port in use, receive pending, queues open */
#define EVT_E_QUEUEKIND 20 /* operation not allowed on this kind of queue */
#define EVT_E_INTERNAL 21  /* unexpected internal failure */

/* The largest encoding of one message. */
#define EVT_MAX_MESSAGE_BYTES (1024u * 1024u)

/* The port used when the service "tsl-ntfy" is not known. */
#define EVT_DEFAULT_PORT 3009

/* Called on the receive thread, without any lock held, with the queue and
 * the received message; the message id is 0 when the queue's listening
 * socket failed. The callback may read and free the message, start the
 * next asynchronous receive or close the queue. */
typedef void (*EVT_Callback)(uint32_t queue_id, uint32_t message_id);

/* Module start and end; EVT_Term refuses (EVT_E_BUSY, count unchanged)
 * while queues are open. */
VR_EXPORT int EVT_Init(void);
VR_EXPORT int EVT_Term(void);

/* With a remote address (kind GEN_KIND_CODESET, counted text
 * "host:port"): a sending queue. Without (null): a receiving queue on an
 * ephemeral port, whose number is written to *local_port when it is not
 * null. */
VR_EXPORT int EVT_Open(const GEN_Text *remote, uint16_t *local_port, uint32_t *queue_id);
/* The port of the service "tsl-ntfy", else EVT_DEFAULT_PORT. */
VR_EXPORT int EVT_GetRegisteredPort(uint16_t *port);
/* A receiving queue bound exactly to the registered port. */
VR_EXPORT int EVT_OpenRegisteredPort(uint16_t *port, uint32_t *queue_id);
/* Wakes and waits for a pending receive, frees every message and the
 * queue. */
VR_EXPORT int EVT_Close(uint32_t queue_id);

/* Building and sending (sending queues). A text argument's length counts
 * its terminating zero. A sent message stays on the queue. */
VR_EXPORT int EVT_MessageCreate(uint32_t queue_id, uint32_t *message_id);
VR_EXPORT int EVT_MessageArgPut(uint32_t queue_id, uint32_t message_id, const char *text);
VR_EXPORT int EVT_MessageBArgPut(uint32_t queue_id, uint32_t message_id, uint32_t length,
                                 const void *bytes);
VR_EXPORT int EVT_MessageIArgPut(uint32_t queue_id, uint32_t message_id, int32_t value);
VR_EXPORT int EVT_MessageSend(uint32_t queue_id, uint32_t message_id);

/* Receiving (receiving queues). timeout -1 with a callback: one message
 * delivered to the callback on a thread of its own (EVT_E_BUSY when one is
 * already pending). timeout >= 0 (seconds, 0 = no limit) with message_id:
 * waits for one message; *message_id is its id, or 0 on failure. */
VR_EXPORT int EVT_MessageReceive(uint32_t queue_id, int32_t timeout, EVT_Callback callback,
                                 uint32_t *message_id);

/* Reading the next argument of a received message. A text needs a buffer
 * of its length including the terminator; a binary argument that does not
 * fit writes the needed size to *size. On EVT_E_BUFFER and EVT_E_ARGTYPE
 * the argument stays next. */
VR_EXPORT int EVT_MessageArgGet(uint32_t queue_id, uint32_t message_id, uint32_t size,
                                char *buffer);
VR_EXPORT int EVT_MessageBArgGet(uint32_t queue_id, uint32_t message_id, uint32_t *size,
                                 void *buffer);
VR_EXPORT int EVT_MessageIArgGet(uint32_t queue_id, uint32_t message_id, int32_t *value);

/* Removes and frees a message of either kind of queue. */
VR_EXPORT int EVT_MessageFree(uint32_t queue_id, uint32_t message_id);

VR_END_DECLS

#endif /* VRCORE_EVT_H */
