// The operation trace, read back from a log file: one representative
// argument and outcome trace per family of operations, the special
// renderings, a filter tree, every kind of error result; and that nothing
// is formatted while severity 6 is not logged.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>

#include "log_file.h"
#include "scratch.h"
#include "status_list.h"
#include "vrcore/echo.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"
#include "vrcore/thr.h"

namespace {

using namespace vrtest;

GEN_Text Txt(const char *s) {
    GEN_Text t{};
    t.kind = GEN_KIND_IRV;
    t.u.string = const_cast<char *>(s);
    return t;
}
GEN_ObjectIdent Job(const char *id) {
    GEN_ObjectIdent o{};
    o.choice = GEN_OBJID_JOB_ID;
    std::strncpy(o.u.job_id.value, id, GEN_JOB_ID_MAX);
    return o;
}
std::string Name(GENU_ShortOID id) { return GENU_ShortOIDToAscii(id); }
std::string Thread() {
    THR_ThreadId id = 0;
    return THR_GetThreadHandle(&id), std::to_string(static_cast<int>(id));
}

class EchoTrace : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(AS_Create(st, &empty, nullptr, 0), 0);
        ASSERT_EQ(AS_Create(st, &jobs, nullptr, 0), 0);
        int32_t copies = 2;
        ASSERT_EQ(AS_AddAttrValM(st, jobs, 900, 12, &copies, &GENU_IntegerDesc, nullptr), 0);
        ASSERT_EQ(AS_AddAttrValM(st, jobs, 900, 12, &(copies = 5), &GENU_IntegerDesc, nullptr), 0);
        ASSERT_EQ(AS_FindAttr(st, jobs, 900, &copies_attr), 0);
        ASSERT_EQ(AS_Create(st, &texts, nullptr, 0), 0);
        ASSERT_EQ(AS_AddAttr(st, texts, 901, 28, &no_values), 0);
    }
    void TearDown() override {
        AS_FreeAttrHandle(st, &copies_attr);
        AS_FreeAttrHandle(st, &no_values);
        AS_Destroy(st, &empty);
        AS_Destroy(st, &jobs);
        AS_Destroy(st, &texts);
    }
    StatusList st;
    AS_SetHandle empty = nullptr, jobs = nullptr, texts = nullptr;
    AS_AttrHandle copies_attr = nullptr, no_values = nullptr;
    // The set above as the trace shows it.
    std::string Jobs() const { return "\t\t" + Name(900) + " (integer)  \n\t\t\t2\n\t\t\t5\n"; }
};

TEST_F(EchoTrace, ArgumentsAndOutcomesOfEachFamily) {
    GEN_Text hold = Txt("hold");
    GEN_ObjectIdent j7 = Job("J7");
    GEN_SimpleName lp{};
    lp.kind = GEN_KIND_IRV;
    std::strcpy(lp.u.string, "lp1");
    int32_t no = 0, doc = 3, scope = 2;
    uint8_t force_yes = 1, force_bad = 7;
    GENU_ShortOID method = 900;
    ODP_DocDescription first{&method, nullptr, nullptr, &jobs};
    ODP_JobOrPrinter by_job{ODP_JOB_OR_PRINTER_JOB, {}}, by_printer{ODP_JOB_OR_PRINTER_PRINTER, {}};
    std::strcpy(by_job.u.job.value, "J9");
    by_printer.u.printer = lp;
    GENU_ShortOID wanted[] = {900, 901};
    AS_IdentifierList two{2, wanted}, none{0, nullptr};
    ODP_PrintResult printed{};
    std::strcpy(printed.job_identification.value, "J1");
    printed.job_status = jobs;
    ODP_PauseResult paused{ODP_PAUSE_RESULT_JOB | ODP_PAUSE_RESULT_STATUS, {}, empty},
        unpaused{0, {}, nullptr};
    std::strcpy(paused.affected_job.value, "J2");
    AS_SetHandle *no_set = nullptr;
    ODP_ObjectStatusList resubmit_tail{nullptr, no_set}, resubmit{&resubmit_tail, &jobs};
    ODP_InterruptJobResult interrupted{};
    std::strcpy(interrupted.interrupted_job_identifier.value, "J4");
    ODP_ListResult listed{};
    const std::string in = "EchoIn", out = "EchoOut", thread = Thread();
    const std::string common = "\tcommon-arguments:\n\t\tno attributes\n";
    const std::string no_common = "\tcommon-arguments = OPTION not specified\n";
    const std::string no_error = "\tErrorResult = NULL\n";

    const struct {
        const char *what;
        std::function<void()> call;
        std::string want;
    } cases[] = {
        {"create job in", [&] { EchoInCreateJob(st, "ODP_C", &lp, &no, &jobs, &first, &empty); },
         in + "CreateJob: called from ODP_C, from thread " + thread + "\n\tprinter-name = lp1\n" +
             "\tjob-submission-complete = FALSE\n\tjob-attributes =\n" + Jobs() +
             "\t[first-document]\n\ttransfer-method = " + Name(900) +
             "\n\tdocument-content = OPTION not specified\n" +
             "\tdocument-type = OPTION not specified\n\tdocument attributes:\n" + Jobs() + common},
        {"create job out", [&] { EchoOutCreateJob(st, "ODP_C", &printed, nullptr); },
         out + "CreateJob: called from ODP_C, from thread " + thread + "\n" + no_error +
             "\tPrintResult:\n\t\tjob-identification = J1\n" +
             "\t\tserver-state = OPTION not specified\n" +
             "\t\tserver-message = OPTION not specified\n" +
             "\t\tdocument-status = OPTION not specified\n\t\tjob-status:\n" + Jobs()},
        {"list in, everything",
         [&] { EchoInListObjectAttributes(st, "client", 900, &scope, nullptr, &two, nullptr); },
         in + "ListObjectAttributes:  called from client\n\tobject-class = " + Name(900) +
             "\n\tscope = 2\n\tselector = OPTION not specified\n\trequested-attributes:\n\t\t" +
             Name(900) + "\n\t\t" + Name(901) + "\n" + no_common},
        {"ordered jobs in, none requested",
         [&] { EchoInGetOrderedJobs(st, "c", 900, nullptr, nullptr, &none, nullptr); },
         in + "GetOrderedJobs:  called from c\n\tobject-class = " + Name(900) +
             "\n\tscope = DEFAULT\n\tselector = OPTION not specified\n" +
             "\trequested-attributes = None specified\n" + no_common},
        {"list out, empty", [&] { EchoOutListObjectAttributes(st, "c", &listed, nullptr); },
         out + "ListObjectAttributes:  called from c\n" + no_error +
             "\tListObjectAttributesResult:\n\t\tanswer-time: 0/00/0 0:00:00.000 diff=0 Not UTC\n" +
             "\t\tcontinuation = OPTION not specifed\n" +
             "\t\tlimit-encountered = OPTION not specifed\n\t\tresult-set = Empty\n"},
        {"create in, force and initial value",
         [&] { EchoInCreate(st, "ODP_C", 900, &j7, &j7, &force_yes, nullptr, &hold, &empty); },
         in + "Create:  called from ODP_C\n\tobject-class = " + Name(900) +
             "\n\tobject-instance:\n\t\tjob-identifier = J7\n\t<initial-value-object>\n" +
             "\t\tjob-identifier = J7\n\tforce-creation = TRUE\n" +
             "\tobject-attributes = OPTION not specified\n\tmessage = hold\n" + common},
        {"create in, bad force, no instance",
         [&] {
             EchoInCreate(st, "ODP_C", 900, nullptr, nullptr, &force_bad, &jobs, nullptr, nullptr);
         },
         in + "Create:  called from ODP_C\n\tobject-class = " + Name(900) +
             "\n\tobject-instance = NULL [ERROR]\n" +
             "\tinitial-value-object = OPTION not specified\n\tforce-creation = 7 [ERROR]\n" +
             "\tobject-attributes =\n" + Jobs() + "\tmessage = OPTION not specified\n" + no_common},
        {"modify job out, enable out without a result",
         [&] {
             EchoOutModifyJob(st, "OBJ_C", &empty, nullptr);
             EchoOutEnable(st, "x", nullptr, nullptr);
         },
         out + "ModifyJob:  called from OBJ_C\n" + no_error +
             "\tModify Job Result:\n\t\tno attributes\n" + out + "Enable:  called from x\n" +
             no_error + "\tEnableResult = NULL\n"},
        {"pause out, both forms",
         [&] {
             EchoOutPause(st, "ODP_C", &paused, nullptr);
             EchoOutPause(st, "ODP_C", &unpaused, nullptr);
         },
         out + "Pause:  called from ODP_C\n" + no_error +
             "\tPauseResult:\n\t\tAffected job = J2\n\t\tPause Status:\n\t\tno attributes\n" + out +
             "Pause:  called from ODP_C\n" + no_error +
             "\tPauseResult:\n\t\tAffected job = NOT SPECIFIED\n\t\tPause Status = NOT "
             "SPECIFIED\n"},
        {"cancel job in, no caller",
         [&] { EchoInCancelJob(st, nullptr, "J1", &doc, &hold, nullptr, &empty); },
         in + "CancelJob:  called from <NULL>\n\texisting-job = J1\n\tdocument-number = 3\n" +
             "\tcancel-message = hold\n\tretention-period = OPTION not specified\n" + common},
        {"pause job in and out",
         [&] {
             EchoInPauseJob(st, "ODP_C", &by_printer, nullptr, nullptr);
             EchoInInterruptJob(st, "ODP_C", &by_job, nullptr, nullptr, nullptr);
         },
         in + "PauseJob:  called from ODP_C\n\tpaused-job:\n\t\tprinter-name = lp1\n" +
             "\tpause-message = OPTION not specified\n" + no_common + in +
             "InterruptJob:  called from ODP_C\n\tinterrupted-job:\n\t\tjob-identifier = J9\n" +
             "\tinterrupt-message = OPTION not specified\n\tinterrupting-job = NULL [ERROR]\n" +
             no_common},
        {"resume job in, checkpoint",
         [&] { EchoInResumeJob(st, "ODP_C", "J1", nullptr, &doc, nullptr); },
         in + "ResumeJob:  called from ODP_C\n\tresumed-job = J1\n" +
             "\tresume-message = OPTION not specified\n\tcheckpoint: (not implemented)\n" +
             no_common},
        {"interrupt and resubmit out",
         [&] {
             EchoOutInterruptJob(st, "ODP_C", &interrupted, nullptr);
             EchoOutResubmitJob(st, "ODP_C", &resubmit, nullptr);
         },
         out + "InterruptJob:  called from ODP_C\n" + no_error +
             "\tInterruptJobResult:\n\t\tinterrupted-job-identifier = J4\n" +
             "\t\tjob-status = OPTION not specified\n" + out + "ResubmitJob:  called from ODP_C\n" +
             no_error + "\tResubmitJobResult:\n" + Jobs() + "\t\tAttribute Set not specified\n" +
             "\t-------------------------------\n"},
        {"send event in", [&] { EchoInSendEvent(st, "ODP_C", nullptr, jobs, nullptr, nullptr); },
         in + "SendEvent: called from ODP_C, from thread " + thread +
             "\n\tevent = NULL [ERROR]\n\tevent-attributes =\n" + Jobs() +
             "\tmessage = OPTION not specified\n" + no_common},
    };
    for (const auto &c : cases) {
        LogFile log("EWADXI");
        c.call();
        EXPECT_EQ(log.Text(), c.want) << c.what;
    }
}

// and / or / not three levels deep with every item type; the attribute of
// one item is gone by the time it is shown.
TEST_F(EchoTrace, FilterTreeWithEveryItemType) {
    GEN_Filter items[8] = {};
    const int32_t compared[] = {GEN_ITEM_EQUALITY,      GEN_ITEM_GREATER_OR_EQUAL,
                                GEN_ITEM_LESS_OR_EQUAL, GEN_ITEM_SUBSET,
                                GEN_ITEM_SUPERSET,      GEN_ITEM_INTERSECTION};
    for (int i = 0; i < 6; ++i) {
        items[i].choice = GEN_FILTER_ITEM;
        items[i].u.item.choice = compared[i];
        items[i].u.item.u.attribute = copies_attr;
    }
    items[5].u.item.u.attribute = no_values;
    items[6].choice = GEN_FILTER_ITEM;
    items[6].u.item.choice = GEN_ITEM_PRESENT;
    items[6].u.item.u.present = 901;
    GEN_Text middle = Txt("mid"), last = Txt("end");
    GEN_SeqOfValues any{nullptr, &middle};
    items[7].choice = GEN_FILTER_ITEM;
    items[7].u.item.choice = GEN_ITEM_SUBSTRINGS;
    items[7].u.item.u.substrings = {901, 28, 9, nullptr, &any, &last};
    GEN_SetOfFilter inner[4] = {
        {&inner[1], items[0]}, {nullptr, items[1]}, {&inner[3], items[2]}, {nullptr, items[3]}};
    GEN_Filter and_f{}, or_f{}, not_f{}, bad{};
    and_f.choice = GEN_FILTER_AND;
    and_f.u.and_set = &inner[0];
    not_f.choice = GEN_FILTER_NOT;
    not_f.u.not_filter = &items[7];
    bad.choice = 9;
    GEN_SetOfFilter top[7] = {{&top[1], and_f},    {&top[2], not_f},    {&top[3], items[4]},
                              {&top[4], items[5]}, {&top[5], items[6]}, {&top[6], bad},
                              {nullptr, items[2]}};
    or_f.choice = GEN_FILTER_OR;
    or_f.u.or_set = &top[0];
    AS_AttrHandle gone = nullptr;
    AS_SetHandle doomed = nullptr;
    ASSERT_EQ(AS_Create(st, &doomed, nullptr, 0), 0);
    ASSERT_EQ(AS_AddAttr(st, doomed, 902, 12, &gone), 0);
    ASSERT_EQ(AS_Destroy(st, &doomed), 0);
    top[6].filter.u.item.u.attribute = gone;

    const std::string l6(18, ' '), l7(21, ' '), l8(24, ' '), n900 = Name(900), n901 = Name(901);
    LogFile log("EWADXI");
    LOG_StartMessage(6, "f", 1, nullptr);
    EchoFilter(st, &or_f);
    EchoFilter(st, nullptr);
    LOG_EndMessage();
    EXPECT_EQ(log.Text(), l6 + "or\n" + l7 + "and\n" + l8 + n900 + " eq 2\n" + l8 + "5\n" + l8 +
                              n900 + " ge 2\n" + l8 + "5\n" + l7 + "not\n" + l8 +
                              "Substring, Attr Id = " + n901 + "\n" + l8 + "Value Type = text\n" +
                              l8 + "Match = unknown (9)\n" + l8 +
                              "Initial String = <not specified>\n" + l8 + "String = mid\n" + l8 +
                              "Final String = end\n" + l7 + n900 + " sup 2\n" + l7 + "5\n" + l7 +
                              n901 + " int <no values>\n" + l7 + n901 + " is\n" + l7 +
                              "**ERROR** unknown filter choice (9)\n" + l7 +
                              "le <can't get attribute ID>\n" + l6 + "NULL FILTER\n");
    AS_FreeAttrHandle(st, &gone);
}

TEST_F(EchoTrace, EveryKindOfErrorResult) {
    GEN_ObjectIdent j7 = Job("J7");
    GEN_ErrorMessage why{GEN_ERRMSG_TEXT, {Txt("why")}};
    const std::string j7why = "\t\tjob-identifier = J7\n\t\terror-message = why\n";
    using Builder = std::function<int(ERDPA_ErrorResult **)>;
    const struct {
        Builder build;
        std::string want;
    } kinds[] = {
        {[&](ERDPA_ErrorResult **r) { return ERDPA_Update(st, r, 5, &j7, &why); },
         "\t\tUpdate Error -  Cancellation Not Possible\n" + j7why},
        {[&](ERDPA_ErrorResult **r) {
             return ERDPA_Attribute(st, r, 13, copies_attr, &j7, &why) +
                    ERDPA_Attribute(st, r, 1, copies_attr, &j7, &why);
         },
         "\t\tjob-identifier = J7\n\t\tAttribute Error -  Not Multi Valued\n" + Jobs() +
             "\t\terror-message = why\n\t\tAttribute Error -  Unknown Problem\n" + Jobs() +
             "\t\terror-message = why\n\t\tNumber of Attribute Errors = 2\n"},
        {[&](ERDPA_ErrorResult **r) { return ERDPA_DocumentAccess(st, r, 4, &j7, &why); },
         "\t\tDocument Access Error -  Unknown Document\n" + j7why},
        {[&](ERDPA_ErrorResult **r) { return ERDPA_Selection(st, r, 3, jobs, &j7, &why); },
         "\t\tSelection Error - Object Already Exists\n" + Jobs() +
             "\t\tjob-identifier = J7\n\t\terror-message = why\n" +
             "\t\tNumber of Selection Errors = 1\n"},
        {[&](ERDPA_ErrorResult **r) { return ERDPA_Printer(st, r, 2, &j7, &why); },
         "\t\tPrinter Error - Printer Needs Attention\n" + j7why},
        {[&](ERDPA_ErrorResult **r) {
             return ERDPA_Access(st, r, 1, &j7, &why) + ERDPA_Access(st, r, 9, &j7, &why);
         },
         "\t\tAccess Error - Inappropriate Object Class\n" + j7why +
             "\t\tAccess Error - Unknown Problem\n" + j7why + "\t\tNumber of Access Errors = 2\n"},
        {[&](ERDPA_ErrorResult **r) { return ERDPA_Service(st, r, 15, nullptr, &j7, &why); },
         "\t\tService Error -  Unsupported Operation\n" + j7why +
             "\t\tNumber of Service Errors = 1\n"},
        {[&](ERDPA_ErrorResult **r) { return ERDPA_Security(st, r, 4, &why); },
         "\t\tSecurity Error - Invalid Pac\n\t\terror-message = why\n"},
    };
    for (const auto &k : kinds) {
        ERDPA_ErrorResult *result = nullptr;
        ASSERT_EQ(k.build(&result), 0);
        LogFile log("EWADXI");
        EXPECT_EQ(EchoOutCancelJob(st, "ODP_C", nullptr, result), 0);
        EXPECT_EQ(log.Text(), "EchoOutCancelJob:  called from ODP_C\n\tErrorResult:\n" + k.want +
                                  "\tCancelJobResult = NULL\n")
            << result->kind;
        ERDPA_FreeError(st, result);
    }
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
thread_local bool g_counting = false;
thread_local long g_allocations = 0;
} // namespace
// NOLINTNEXTLINE(readability-identifier-naming): the C library's own allocator
extern "C" void *__libc_malloc(size_t size);
// Every heap block of the counting thread is counted while it counts.
extern "C" void *malloc(size_t size) noexcept {
    if (g_counting) ++g_allocations;
    return __libc_malloc(size);
}
namespace {

TEST_F(EchoTrace, NothingIsFormattedWhileSeverity6IsOff) {
    GEN_ObjectIdent j7 = Job("J7");
    AS_SetHandle bogus = reinterpret_cast<AS_SetHandle>(16);
    for (const char *severities : {"EWADX", "EWADXI"}) {
        LogFile log(severities);
        LOG_CondMessage(1, "e", 1, "ready\n"); // the module's own start-up
        g_allocations = 0;
        g_counting = true;
        EchoInCancelJob(st, "ODP_C", "J1", nullptr, nullptr, nullptr, &bogus);
        EchoInDelete(st, nullptr, 900, &j7, nullptr, &jobs);
        g_counting = false;
        EXPECT_EQ(g_allocations > 0, severities[5] != 0) << severities;
    }
}
#endif

} // namespace
