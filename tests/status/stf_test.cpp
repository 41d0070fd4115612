// Status lists: arguments, environment chains, full lists, the fallback list, chains.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "failalloc.h"
#include "status/stf_internal.h"

using namespace vrcore::status;

namespace {

STF_ObjectInfo Info(const STF_List *l, uint32_t i) {
    STF_ObjectInfo info{};
    EXPECT_EQ(STF_GetObjectInfo(l, i, &info), 0u) << "index " << i;
    return info;
}

struct ListPtr {
    STF_List *l = STF_CreateList(nullptr);
    ~ListPtr() { STF_DeleteList(l); }
    operator STF_List *() const { return l; }
};
STF_List *Sized(ListPtr &p, uint32_t max, uint32_t size) {
    STF_DeleteList(p.l);
    return p.l = STF_CreateListExplicit(nullptr, max, size);
}

} // namespace

TEST(StatusList, NullEmptyAndClearedLists) {
    EXPECT_EQ(STF_GetStatus(nullptr), 0xFFFFFFFFu);
    STF_ObjectInfo info;
    EXPECT_EQ(STF_GetObjectInfo(nullptr, 1, &info), 0xFFFFFFFFu);
    STF_AddStatus(nullptr, 0xC0030065u, 1, STF_ARG_INT, 1);
    STF_ConvertErrno(nullptr, 2, "x");
    STF_DeleteList(nullptr);
    EXPECT_EQ(STF_ClearStatus(nullptr), nullptr);

    ListPtr l;
    EXPECT_EQ(STF_GetStatus(l), 0u);
    for (uint32_t i : {0u, 1u}) EXPECT_EQ(STF_GetObjectInfo(l, i, &info), STF_S_NOENTRY) << i;
    // A negative count keeps no arguments; adding code 0 clears the list.
    STF_AddStatus(l, 0xC0030065u, 0);
    STF_AddStatus(l, 0xC0030066u, -1);
    EXPECT_EQ(Info(l, 1).arg_count, -1);
    EXPECT_EQ(Info(l, 2).arg_count, 0);
    STF_AddStatus(l, 0, 0);
    EXPECT_EQ(STF_GetStatus(l), 0u);
    EXPECT_EQ(EntryCount(l), 0u);
}

TEST(StatusList, TypedArgumentsAreCopied) {
    ListPtr l;
    char text[] = "caller text";
    const unsigned char bytes[4] = {0, 1, 2, 0xFF};
    STF_AddStatus(l, 0xC00E00A0u, 5, STF_ARG_CHAR, 'x', STF_ARG_INT, -7, STF_ARG_DOUBLE, 2.5,
                  STF_ARG_STRING, text, STF_ARG_COUNTED, 4, bytes);
    std::strcpy(text, "overwritten");
    STF_ObjectInfo i = Info(l, 1);
    ASSERT_EQ(i.arg_count, 5);
    EXPECT_TRUE(i.args[0].value.c == 'x' && i.args[1].value.i == -7 && i.args[2].value.d == 2.5);
    EXPECT_EQ(std::string(static_cast<const char *>(i.args[3].value.p), i.args[3].length),
              std::string("caller text", 12));
    EXPECT_EQ(std::string(static_cast<const char *>(i.args[4].value.p), i.args[4].length),
              std::string("\0\1\2\xFF", 4));
}

TEST(StatusList, ArgumentLimits) {
    ListPtr l;
    STF_AddStatus(l, 0xC0010005u, 9, 3, 1, 3, 2, 3, 3, 3, 4, 3, 5, 3, 6, 3, 7, 3, 8, 3, 9);
    STF_ObjectInfo nine = Info(l, 1);
    ASSERT_EQ(nine.arg_count, 9);
    EXPECT_EQ(nine.args[8].value.i, 9);
    STF_AddStatus(l, 0xC0010005u, 10, 3, 1, 3, 2, 3, 3, 3, 4, 3, 5, 3, 6, 3, 7, 3, 8, 3, 9, 3, 10);
    STF_ObjectInfo ten = Info(l, 1);
    EXPECT_TRUE(ten.arg_count == -1 && ten.flags == STF_ENTRY_ARGS_LOST && !ten.args);
    // An unknown type adds nothing at all.
    STF_AddStatus(l, 0xC0030070u, 2, STF_ARG_INT, 1, 7, 2);
    EXPECT_EQ(STF_GetStatus(l), 0xC0010005u);
    EXPECT_EQ(EntryCount(l), 2u);
    STF_AddStatus(l, 0xC0030070u, 1, 0x4005, 3, "abc");
    EXPECT_EQ(EntryCount(l), 2u);
}

TEST(StatusList, EnvironmentChainOrder) {
    ListPtr l;
    STF_AddStatus(l, 0xC0000001u, 0);
    STF_AddEnvStatus(l, 0xC0030001u, 1, STF_ARG_STRING, "main", STF_KIND_STATUS, 0xC0030002u, 0,
                     STF_KIND_MSG, 17u, 1, STF_ARG_INT, 5, STF_KIND_ERRNO, 13u, 0, 0);
    ASSERT_EQ(EntryCount(l), 5u);
    EXPECT_EQ(Info(l, 5).code, 0xC0000001u);
    EXPECT_EQ(Info(l, 1).code, 0xC0030001u);
    EXPECT_EQ(Info(l, 2).code, 0xC0030002u);
    EXPECT_EQ(Info(l, 3).kind, STF_KIND_MSG);
    EXPECT_EQ(Info(l, 3).args[0].value.i, 5);
    EXPECT_EQ(Info(l, 4).kind, STF_KIND_ERRNO);

    // A status group with code 0 clears what was there when it is added:
    // the groups after it in the chain are added before it and are lost.
    STF_AddEnvStatus(l, 0xC0030003u, 0, STF_KIND_STATUS, 0u, 0, STF_KIND_ERRNO, 4u, 0, 0);
    ASSERT_EQ(EntryCount(l), 1u);
    EXPECT_EQ(STF_GetStatus(l), 0xC0030003u);

    STF_AddEnvStatusByArray(l, 1, nullptr);
    EXPECT_EQ(STF_GetStatus(l), 0xC0010009u);
    EXPECT_EQ(EntryCount(l), 2u);
}

namespace {

constexpr uint32_t kMain = 0xC0030100u;
constexpr uint32_t kCause = 0xC0030200u;

// STF_AddEnvStatus with a chain of N groups: group i (1 the newest cause,
// N the oldest) has code kCause + i and the integer argument i.
template <int I, int N, class... A> void AddChainOf(STF_List *l, A... a) {
    if constexpr (I > N)
        STF_AddEnvStatus(l, kMain, 0, a..., 0);
    else
        AddChainOf<I + 1, N>(l, a..., STF_KIND_STATUS, kCause + I, 1, STF_ARG_INT, I);
}

} // namespace

// A chain longer than the list holds keeps the main entry on top and the
// oldest causes at the bottom; only causes next to the main entry give way.
TEST(StatusList, LongEnvironmentChainsKeepTheOldestCauses) {
    // 1000 bytes (the default) hold 20 entries of one integer argument each.
    const struct {
        int groups;
        void (*add)(STF_List *);
        uint32_t max, want;
    } cases[] = {{100, AddChainOf<1, 100>, 2046, 101}, {64, AddChainOf<1, 64>, 0, 20}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.groups << " groups, list of " << c.max);
        ListPtr l;
        c.add(Sized(l, c.max, 0));
        uint32_t n = EntryCount(l);
        EXPECT_EQ(n, c.want);
        EXPECT_EQ(STF_GetStatus(l), kMain);
        // Below the main entry: consecutive causes down to the oldest.
        for (uint32_t i = 2; i <= n; ++i) {
            STF_ObjectInfo e = Info(l, i);
            int group = c.groups - static_cast<int>(n - i);
            EXPECT_EQ(e.code, kCause + static_cast<uint32_t>(group)) << "index " << i;
            ASSERT_EQ(e.arg_count, 1) << "index " << i;
            EXPECT_EQ(e.args[0].value.i, group);
        }
    }
}

TEST(StatusList, ArgumentsOfNewestEntriesGiveWay) {
    // Ten entries allowed in a small block; large arguments fill it first.
    ListPtr l;
    Sized(l, 10, 500);
    std::string big(150, 'a');
    STF_AddStatus(l, 0xC0030001u, 1, STF_ARG_STRING, "oldest");
    STF_AddStatus(l, 0xC0030002u, 1, STF_ARG_STRING, big.c_str());
    STF_AddStatus(l, 0xC0030003u, 1, STF_ARG_STRING, big.c_str());
    uint32_t added = 3;
    while (FreeSpace(l) >= 28) STF_AddStatus(l, 0xC0030000u + ++added, 0);
    STF_AddStatus(l, 0xC0030099u, 1, STF_ARG_INT, 77);
    // Entries keep their order and codes; the newest ones lost arguments.
    ASSERT_EQ(EntryCount(l), added + 1);
    EXPECT_EQ(Info(l, 1).code, 0xC0030099u);
    for (uint32_t i = 2; i <= added + 1; ++i)
        EXPECT_EQ(Info(l, i).code, 0xC0030000u + added + 2 - i);
    STF_ObjectInfo oldest = Info(l, added + 1);
    ASSERT_EQ(oldest.arg_count, 1);
    EXPECT_STREQ(static_cast<const char *>(oldest.args[0].value.p), "oldest");
    EXPECT_EQ(Info(l, added - 1).flags & STF_ENTRY_ARGS_LOST, STF_ENTRY_ARGS_LOST); // 0xC0030003
}

TEST(StatusList, FallbackAndChaining) {
    STF_List *f = nullptr;
    {
        vrtest::FailModule fail(vrcore::system::seam::Module::Status, -1);
        f = STF_CreateList(nullptr);
    }
    EXPECT_EQ(f, FallbackList());
    EXPECT_EQ(STF_GetStatus(f), STF_S_NOMEM);
    EXPECT_EQ(Info(f, 1).flags, STF_ENTRY_STATIC);
    STF_AddStatus(f, 0xC0030065u, 0); // the static list is never written
    STF_ClearStatus(f);
    STF_DeleteList(f);
    EXPECT_EQ(STF_GetStatus(f), STF_S_NOMEM);

    STF_List *parent = STF_CreateList(nullptr);
    STF_List *child = STF_CreateList(parent);
    STF_List *other = STF_CreateList(parent); // parent already has one
    STF_CreateList(child);                    // a grandchild
    EXPECT_EQ(Subordinate(parent), child);
    EXPECT_EQ(Parent(other), nullptr);
    STF_List *of_static = STF_CreateList(f);
    EXPECT_EQ(Parent(of_static), nullptr);
    STF_DeleteList(of_static);
    STF_DeleteList(child); // takes the grandchild with it
    EXPECT_EQ(Subordinate(parent), nullptr);
    STF_List *again = STF_CreateList(parent);
    EXPECT_EQ(Subordinate(parent), again);
    STF_DeleteList(parent);
    STF_DeleteList(other);
}
