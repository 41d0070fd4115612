// Records, attribute values and their indirections.
#include "failalloc.h"
#include "nameservice/pns_internal.h"
#include "pns_test_util.h"

using namespace pnstest;

namespace {

// Each key's text is read into its type and given back in canonical form;
// an address without a server is no address, and empty text unsets.
TEST(PnsValues, TextFormsByKeyType) {
    ns_printer_t *p = Make("p1", "etc");
    for (auto [key, in, out] : {std::tuple{"bsdaddr", "host, queue ,ext", "host,queue,ext"},
                                {"all", "a, b,,c", "a,b,c"},
                                {"bsdaddr", "solo", "solo"},
                                {"bsdaddr", "h,,x", "h,,x"},
                                {"bsdaddr", " ,q", "<none>"},
                                {"spooling-type", "", "<none>"}}) {
        ASSERT_EQ(ns_set_value_from_string(key, in, p), 0) << in;
        char *s = ns_get_value_string(key, p);
        EXPECT_EQ(std::string(s ? s : "<none>"), out) << in;
        EXPECT_EQ(ns_get_value(key, p) != nullptr, s != nullptr) << in;
        free(s);
    }
    auto **names = static_cast<char **>(ns_get_value("all", p)); // the other keys left it alone
    EXPECT_TRUE(names && !strcmp(names[2], "c") && !names[3]);
    // A null key releases every pair.
    EXPECT_EQ(ns_set_value(nullptr, nullptr, p), 0);
    EXPECT_EQ(p->attributes, nullptr);
    EXPECT_EQ(ns_set_value("k", nullptr, nullptr), -1);
    ns_printer_destroy(p);
}

TEST(PnsValues, ConversionLeavesNothingBehindWhenMemoryFails) {
    using vrtest::FailAlloc;
    vrtest::FailModule fail(vrcore::system::seam::Module::PrinterNames);
    vrcore::nameservice::pns::Entry e;
    ASSERT_TRUE(
        vrcore::nameservice::pns::ParsePrintersEntry("p1|a1|a2:bsdaddr=h,q:all=x,y,z:note=n:", e));
    long points = vrtest::SweepFailures(
        [&] {
            ns_printer_t *p = vrcore::nameservice::pns::RecordFromEntry(e, "etc", false);
            if (!p) return false;
            char *s = ns_get_value_string("all", p);
            bool ok = s != nullptr;
            vrcore::nameservice::pns::GiveFree(s);
            ns_printer_destroy(p);
            return ok;
        },
        [] {});
    EXPECT_GT(points, 8);
}

class PnsIndirection : public Env {};

TEST_F(PnsIndirection, UseAllListAndDepthLimit) {
    std::string text = "base:bsdaddr=srv,q:note=from-base:\n"
                       "mid:use=base:\n"
                       "top:use=mid:paddr=top-own:\n"
                       "grp:group=nothere,mid:\n"
                       "lst:list=nothere,top:\n"
                       "loop1:use=loop2:\n"
                       "loop2:use=loop1:\n";
    // A chain 20 deep: c0 -> c1 -> ... -> c19 -> base.
    for (int i = 0; i < 20; ++i)
        text.append(Numbered("c", i))
            .append(":use=")
            .append(i == 19 ? "base" : Numbered("c", i + 1))
            .append(":\n");
    WriteFile(etc, text);

    EXPECT_EQ(ValueOf("top", "note"), "from-base");
    EXPECT_EQ(ValueOf("top", "paddr"), "top-own");
    EXPECT_EQ(ValueOf("grp", "bsdaddr"), "srv,q");
    EXPECT_EQ(ValueOf("lst", "note"), "from-base");
    EXPECT_EQ(ValueOf("loop1", "note"), "");
    // c4 reaches base in 16 steps; c3 would need 17.
    EXPECT_EQ(ValueOf("c4", "note"), "from-base");
    EXPECT_EQ(ValueOf("c3", "note"), "");
    // "use" may name a direct address (the user file can hold the ":").
    WriteFile(user, "direct2\tqhost:qname\n");
    EXPECT_EQ(ValueOf("direct2", "bsdaddr"), "qhost,qname");
}

} // namespace
