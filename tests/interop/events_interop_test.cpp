// Event messages against the asn1c-generated codec of the event module:
// what a sending queue writes on its connection decodes there, and what
// that codec encodes is received by a receiving queue.
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

// One argument as both sides see it.
struct Arg {
    int kind; // 1 integer, 2 text, 3 binary
    int32_t i = 0;
    Bytes b; // text: without its terminating zero
};

std::vector<Arg> RandomArgs(std::mt19937 &rng) {
    std::vector<Arg> args(rng() % 12 + 1);
    for (auto &a : args) {
        a.kind = static_cast<int>(rng() % 3) + 1;
        a.i = static_cast<int32_t>(rng());
        a.b.resize(rng() % (rng() % 8 ? 40 : 3000));
        for (auto &c : a.b) c = static_cast<unsigned char>(a.kind == 2 ? 1 + rng() % 255 : rng());
    }
    return args;
}

// The bytes of an argument's octet string on the wire: a text with its zero.
Bytes WireBytes(const Arg &a) {
    Bytes w = a.b;
    if (a.kind == 2) w.push_back(0);
    return w;
}

class EventInterop : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(EVT_Init(), 0); }
    void TearDown() override { EXPECT_EQ(EVT_Term(), 0); }
};

TEST_F(EventInterop, SentBytesDecodeWithThePeer) {
    // A raw listener captures what the sending queue writes.
    uint16_t port = 0;
    int lfd = vrtest::LoopbackListener(port);
    ASSERT_GE(lfd, 0);
    std::string addr = "127.0.0.1:" + std::to_string(port);
    GEN_Text remote{};
    remote.kind = GEN_KIND_CODESET;
    remote.u.octets.length = static_cast<int32_t>(addr.size());
    remote.u.octets.value = reinterpret_cast<unsigned char *>(addr.data());
    uint32_t sq = 0;
    ASSERT_EQ(EVT_Open(&remote, nullptr, &sq), 0);

    std::mt19937 rng(20);
    for (int round = 0; round < 50; ++round) {
        std::vector<Arg> args = RandomArgs(rng);
        uint32_t m = 0;
        ASSERT_EQ(EVT_MessageCreate(sq, &m), 0);
        for (const Arg &a : args) {
            std::string text(a.b.begin(), a.b.end());
            int r = a.kind == 1   ? EVT_MessageIArgPut(sq, m, a.i)
                    : a.kind == 2 ? EVT_MessageArgPut(sq, m, text.c_str())
                                  : EVT_MessageBArgPut(sq, m, static_cast<uint32_t>(a.b.size()), a.b.data());
            ASSERT_EQ(r, 0);
        }
        Bytes wire;
        std::thread reader([&] {
            int c = accept(lfd, nullptr, nullptr);
            unsigned char buf[4096];
            for (ssize_t k; (k = recv(c, buf, sizeof buf, 0)) > 0;) wire.insert(wire.end(), buf, buf + k);
            close(c);
        });
        ASSERT_EQ(EVT_MessageSend(sq, m), 0);
        reader.join();
        ASSERT_EQ(EVT_MessageFree(sq, m), 0);

        EventMessage_t *pm = nullptr;
        asn_dec_rval_t rv = ber_decode(nullptr, &asn_DEF_EventMessage, reinterpret_cast<void **>(&pm),
                                       wire.data(), wire.size());
        ASSERT_EQ(rv.code, RC_OK);
        ASSERT_EQ(rv.consumed, wire.size());
        ASSERT_EQ(pm->list.count, static_cast<int>(args.size()));
        for (size_t k = 0; k < args.size(); ++k) {
            const EventArgument_t *e = pm->list.array[k];
            const Arg &a = args[k];
            ASSERT_EQ(e->present, a.kind == 1   ? EventArgument_PR_integer
                                  : a.kind == 2 ? EventArgument_PR_text
                                                : EventArgument_PR_binary);
            if (a.kind == 1) {
                EXPECT_EQ(e->choice.integer, a.i);
            } else {
                const OCTET_STRING_t &o = a.kind == 2 ? e->choice.text : e->choice.binary;
                EXPECT_EQ(Bytes(o.buf, o.buf + o.size), WireBytes(a));
            }
        }
        ASN_STRUCT_FREE(asn_DEF_EventMessage, pm);
    }
    EXPECT_EQ(EVT_Close(sq), 0);
    close(lfd);
}

TEST_F(EventInterop, PeerEncodedMessagesAreReceived) {
    uint16_t port = 0;
    uint32_t rq = 0;
    ASSERT_EQ(EVT_Open(nullptr, &port, &rq), 0);
    std::mt19937 rng(11);
    for (int round = 0; round < 50; ++round) {
        std::vector<Arg> args = RandomArgs(rng);
        auto *pm = static_cast<EventMessage_t *>(calloc(1, sizeof(EventMessage_t)));
        for (const Arg &a : args) {
            auto *e = static_cast<EventArgument_t *>(calloc(1, sizeof(EventArgument_t)));
            e->present = a.kind == 1 ? EventArgument_PR_integer
                         : a.kind == 2 ? EventArgument_PR_text
                                       : EventArgument_PR_binary;
            Bytes w = WireBytes(a);
            if (a.kind == 1)
                e->choice.integer = a.i;
            else
                OCTET_STRING_fromBuf(a.kind == 2 ? &e->choice.text : &e->choice.binary,
                                     reinterpret_cast<const char *>(w.data()), static_cast<int>(w.size()));
            ASN_SEQUENCE_ADD(&pm->list, e);
        }
        Bytes wire;
        ASSERT_GE(der_encode(&asn_DEF_EventMessage, pm, interop::Collect, &wire).encoded, 0);
        ASN_STRUCT_FREE(asn_DEF_EventMessage, pm);

        int fd = vrtest::ConnectLoopback(port);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(send(fd, wire.data(), wire.size(), MSG_NOSIGNAL), static_cast<ssize_t>(wire.size()));
        close(fd);

        uint32_t m = 0;
        ASSERT_EQ(EVT_MessageReceive(rq, 10, nullptr, &m), 0);
        for (const Arg &a : args) {
            if (a.kind == 1) {
                int32_t v = 0;
                ASSERT_EQ(EVT_MessageIArgGet(rq, m, &v), 0);
                EXPECT_EQ(v, a.i);
            } else if (a.kind == 2) {
                std::vector<char> buf(a.b.size() + 1);
                ASSERT_EQ(EVT_MessageArgGet(rq, m, static_cast<uint32_t>(buf.size()), buf.data()), 0);
                EXPECT_EQ(std::string(buf.data()), std::string(a.b.begin(), a.b.end()));
            } else {
                Bytes buf(a.b.size() + 1);
                uint32_t n = static_cast<uint32_t>(buf.size());
                ASSERT_EQ(EVT_MessageBArgGet(rq, m, &n, buf.data()), 0);
                EXPECT_EQ(Bytes(buf.begin(), buf.begin() + n), a.b);
            }
        }
        int32_t v;
        EXPECT_EQ(EVT_MessageIArgGet(rq, m, &v), EVT_E_NOARG);
        EXPECT_EQ(EVT_MessageFree(rq, m), 0);
    }
    EXPECT_EQ(EVT_Close(rq), 0);
}

} // namespace
