// Event messages against the asn1c-generated codec of the event module:
// what a sending queue writes on its connection decodes there, and what
// that codec encodes again is received by a receiving queue.
#include <random>
#include <thread>

extern "C" {
#include <EventArgument.h>
#include <EventMessage.h>
}

#include "interop_peer.h"
#include "loopback.h"
#include "vrcore/evt.h"

namespace {

using interop::Bytes;

TEST(EventInterop, SentBytesDecodeWithThePeerAndItsEncodingIsReceived) {
    ASSERT_EQ(EVT_Init(), 0);
    // A raw listener captures what the sending queue writes.
    uint16_t port = 0, rport = 0;
    int lfd = vrtest::LoopbackListener(port);
    ASSERT_GE(lfd, 0);
    std::string addr = "127.0.0.1:" + std::to_string(port);
    GEN_Text remote{GEN_KIND_CODESET, {}, 0};
    remote.u.octets = GEN_OctetString{static_cast<int32_t>(addr.size()),
                                      reinterpret_cast<unsigned char *>(addr.data())};
    uint32_t sq = 0, rq = 0;
    ASSERT_EQ(EVT_Open(&remote, nullptr, &sq), 0);
    ASSERT_EQ(EVT_Open(nullptr, &rport, &rq), 0);
    std::mt19937 rng(20);
    for (int round = 0; round < 60; ++round) {
        // Arguments of each kind: integers, texts (without a zero byte,
        // which the wire adds) and binary data, short and long.
        struct Arg {
            EventArgument_PR kind;
            int32_t i;
            Bytes b;
        };
        std::vector<Arg> args(rng() % 12 + 1);
        uint32_t m = 0;
        ASSERT_EQ(EVT_MessageCreate(sq, &m), 0);
        for (Arg &a : args) {
            a.kind = static_cast<EventArgument_PR>(EventArgument_PR_integer + rng() % 3);
            a.i = static_cast<int32_t>(rng());
            a.b.resize(rng() % (rng() % 8 ? 40 : 3000));
            for (auto &c : a.b)
                c = static_cast<unsigned char>(a.kind == EventArgument_PR_text ? 1 + rng() % 255
                                                                               : rng());
            std::string text(a.b.begin(), a.b.end());
            ASSERT_EQ(
                a.kind == EventArgument_PR_integer ? EVT_MessageIArgPut(sq, m, a.i)
                : a.kind == EventArgument_PR_text
                    ? EVT_MessageArgPut(sq, m, text.c_str())
                    : EVT_MessageBArgPut(sq, m, static_cast<uint32_t>(a.b.size()), a.b.data()),
                0);
            if (a.kind == EventArgument_PR_text) a.b.push_back(0);
        }
        Bytes wire;
        std::thread reader([&] {
            int c = accept(lfd, nullptr, nullptr);
            unsigned char buf[4096];
            for (ssize_t k; (k = recv(c, buf, sizeof buf, 0)) > 0;)
                wire.insert(wire.end(), buf, buf + k);
            close(c);
        });
        ASSERT_EQ(EVT_MessageSend(sq, m), 0);
        reader.join();
        ASSERT_EQ(EVT_MessageFree(sq, m), 0);

        EventMessage_t *pm = nullptr;
        asn_dec_rval_t rv = ber_decode(nullptr, &asn_DEF_EventMessage,
                                       reinterpret_cast<void **>(&pm), wire.data(), wire.size());
        ASSERT_TRUE(rv.code == RC_OK && rv.consumed == wire.size());
        ASSERT_EQ(pm->list.count, static_cast<int>(args.size()));
        for (size_t k = 0; k < args.size(); ++k) {
            const EventArgument_t *e = pm->list.array[k];
            ASSERT_EQ(e->present, args[k].kind);
            const OCTET_STRING_t &o =
                e->present == EventArgument_PR_text ? e->choice.text : e->choice.binary;
            EXPECT_TRUE(e->present == EventArgument_PR_integer
                            ? e->choice.integer == args[k].i
                            : Bytes(o.buf, o.buf + o.size) == args[k].b);
        }
        Bytes theirs;
        ASSERT_GE(der_encode(&asn_DEF_EventMessage, pm, interop::Collect, &theirs).encoded, 0);
        ASN_STRUCT_FREE(asn_DEF_EventMessage, pm);

        int fd = vrtest::ConnectLoopback(rport);
        EXPECT_EQ(send(fd, theirs.data(), theirs.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(theirs.size()));
        close(fd);
        ASSERT_EQ(EVT_MessageReceive(rq, 10, nullptr, &m), 0);
        for (const Arg &a : args) {
            int32_t v = 0;
            Bytes buf(a.b.size() + 1);
            uint32_t n = static_cast<uint32_t>(buf.size());
            if (a.kind == EventArgument_PR_integer) {
                ASSERT_EQ(EVT_MessageIArgGet(rq, m, &v), 0);
                EXPECT_EQ(v, a.i);
            } else if (a.kind == EventArgument_PR_text) {
                ASSERT_EQ(EVT_MessageArgGet(rq, m, n, reinterpret_cast<char *>(buf.data())), 0);
                EXPECT_EQ(Bytes(buf.begin(), buf.begin() + static_cast<long>(a.b.size())), a.b);
            } else {
                ASSERT_EQ(EVT_MessageBArgGet(rq, m, &n, buf.data()), 0);
                EXPECT_EQ(Bytes(buf.begin(), buf.begin() + n), a.b);
            }
        }
        int32_t v;
        EXPECT_EQ(EVT_MessageIArgGet(rq, m, &v), EVT_E_NOARG);
        EXPECT_EQ(EVT_MessageFree(rq, m), 0);
    }
    EXPECT_EQ(EVT_Close(sq) | EVT_Close(rq), 0);
    EXPECT_EQ(EVT_Term(), 0);
    close(lfd);
}

} // namespace
