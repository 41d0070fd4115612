// Event messages against the asn1c-generated codec: what a sending queue
// writes decodes there to the same arguments and bytes, and is received.
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
    uint16_t port = 0, rport = 0; // a raw listener captures what is sent
    int lfd = vrtest::LoopbackListener(port);
    ASSERT_GE(lfd, 0);
    std::string addr = "127.0.0.1:" + std::to_string(port);
    GEN_Text remote{GEN_KIND_CODESET, {}, 0};
    remote.u.octets = GEN_OctetString{static_cast<int32_t>(addr.size()),
                                      reinterpret_cast<unsigned char *>(addr.data())};
    uint32_t sq = 0, rq = 0;
    ASSERT_EQ(EVT_Open(&remote, nullptr, &sq), 0);
    ASSERT_EQ(EVT_Open(nullptr, &rport, &rq), 0);
    // Each kind at its edges and around the length's two forms; texts
    // without a zero byte, which the wire adds.
    struct Arg {
        EventArgument_PR kind;
        int32_t i;
        Bytes b;
    };
    std::vector<Arg> args = {{EventArgument_PR_integer, INT32_MIN, {}},
                             {EventArgument_PR_integer, 128, {}}};
    for (size_t n : {0, 127, 128, 3000})
        for (auto kind : {EventArgument_PR_text, EventArgument_PR_binary}) {
            Bytes b(n);
            for (size_t k = 0; k < n; ++k)
                b[k] =
                    static_cast<unsigned char>(kind == EventArgument_PR_text ? 1 + k % 255 : k * 7);
            args.push_back({kind, 0, b});
        }
    uint32_t m = 0;
    ASSERT_EQ(EVT_MessageCreate(sq, &m), 0);
    for (Arg &a : args) {
        bool text = a.kind == EventArgument_PR_text;
        std::string t(a.b.begin(), a.b.end());
        ASSERT_EQ(a.kind == EventArgument_PR_integer ? EVT_MessageIArgPut(sq, m, a.i)
                  : text                             ? EVT_MessageArgPut(sq, m, t.c_str())
                         : EVT_MessageBArgPut(sq, m, uint32_t(a.b.size()), a.b.data()),
                  0);
        if (text) a.b.push_back(0);
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

    // The peer reads every argument; its encoding of them is received.
    EventMessage_t *pm = nullptr;
    asn_dec_rval_t rv = ber_decode(nullptr, &asn_DEF_EventMessage, reinterpret_cast<void **>(&pm),
                                   wire.data(), wire.size());
    ASSERT_TRUE(rv.code == RC_OK && rv.consumed == wire.size());
    ASSERT_EQ(pm->list.count, static_cast<int>(args.size()));
    Bytes theirs;
    ASSERT_GE(der_encode(&asn_DEF_EventMessage, pm, interop::Collect, &theirs).encoded, 0);
    EXPECT_EQ(theirs, wire); // the same bytes, canonical already
    int fd = vrtest::ConnectLoopback(rport);
    EXPECT_EQ(send(fd, theirs.data(), theirs.size(), MSG_NOSIGNAL), ssize_t(theirs.size()));
    close(fd);
    ASSERT_EQ(EVT_MessageReceive(rq, 10, nullptr, &m), 0);
    for (size_t k = 0; k < args.size(); ++k) {
        const Arg &a = args[k];
        const EventArgument_t *e = pm->list.array[k];
        bool integer = a.kind == EventArgument_PR_integer, text = a.kind == EventArgument_PR_text;
        const OCTET_STRING_t &o = text ? e->choice.text : e->choice.binary;
        ASSERT_EQ(e->present, a.kind);
        EXPECT_TRUE(integer ? e->choice.integer == a.i : Bytes(o.buf, o.buf + o.size) == a.b);
        int32_t v = 0;
        Bytes buf(a.b.size() + 1);
        uint32_t n = text ? uint32_t(a.b.size()) : uint32_t(buf.size());
        ASSERT_EQ(integer ? EVT_MessageIArgGet(rq, m, &v)
                  : text  ? EVT_MessageArgGet(rq, m, n + 1, reinterpret_cast<char *>(buf.data()))
                          : EVT_MessageBArgGet(rq, m, &n, buf.data()),
                  0);
        EXPECT_TRUE(integer ? v == a.i : Bytes(buf.begin(), buf.begin() + n) == a.b);
    }
    ASN_STRUCT_FREE(asn_DEF_EventMessage, pm);
    int32_t v;
    EXPECT_EQ(EVT_MessageIArgGet(rq, m, &v), EVT_E_NOARG);
    EXPECT_EQ(EVT_MessageFree(rq, m), 0);
    EXPECT_EQ(EVT_Close(sq) | EVT_Close(rq), 0);
    EXPECT_EQ(EVT_Term(), 0);
    close(lfd);
}

} // namespace
