// Random argument and result structures of every operation PDU, encoded by
// vrcore: each optional field is present or absent at random.
#pragma once

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ops_samples.h"
#include "vrcore/odpops.h"

namespace vrtest_ops {

// Owns everything the sample structures point to; released at the end.
class Arena {
  public:
    explicit Arena(std::mt19937 &rng) : rng_(rng), ids_(PackableAttributes()) {}
    Arena(const Arena &) = delete;
    Arena &operator=(const Arena &) = delete;
    ~Arena() {
        Status st;
        for (auto &f : undo_) f(st.list);
    }
    bool Coin() { return rng_() % 2; }
    uint32_t Next() { return static_cast<uint32_t>(rng_()); }

    // One complete encoding of a random value of the syntax.
    GENU_Buffer Value(uint32_t type) {
        Status st;
        RandomValue v;
        v.Fill(type, rng_);
        if (type == 48) {
            // In the canonical form (UTC, whole seconds), which a peer's
            // re-encoding keeps byte for byte.
            auto *t = reinterpret_cast<GEN_GeneralizedTime *>(v.bytes);
            if (!t->utc) t->year = static_cast<int16_t>(t->year - 1900);
            t->utc = 1;
            t->mindiff = 0;
            t->millisecond = 0;
        }
        GENU_Buffer b{};
        ODP_PackAV(st.list, type, v.data(), &b);
        unsigned char *p = b.value;
        undo_.push_back([p](STF_List *) { _GENU__MyFree(p); });
        return b;
    }
    GENU_BerOID Oid() {
        Status st;
        GENU_BerOID o{};
        GENU_ShortToBerOID(st.list, ids_[rng_() % ids_.size()], &o);
        return o;
    }
    ODP_BerAttrSet *Set() {
        Status st;
        AS_SetHandle s = MakeRandomSet(rng_, ids_, 4);
        ODP_BerAttrSet *b = nullptr;
        ToBER_AS(st.list, &b, &s, ODP_AS_MODE_EXTENDED_ACL);
        AS_Destroy(st.list, &s);
        undo_.push_back([b](STF_List *q) { FreeBER_AS(q, b); });
        return b;
    }
    ODP_BerModAttrSet *ModSet() {
        Status st;
        AS_SetHandle s = MakeRandomSet(rng_, ids_, 4);
        ODP_BerModAttrSet *b = nullptr;
        ToBER_ModOpAS(st.list, &b, &s, ODP_AS_MODE_EXTENDED_ACL);
        AS_Destroy(st.list, &s);
        undo_.push_back([b](STF_List *q) { FreeBER_ModOpAS(q, b); });
        return b;
    }
    void JobId(ODP_BerJobId &j) {
        std::string s = "job-" + std::to_string(Next() % 100000);
        memcpy(j, s.c_str(), s.size() + 1);
    }
    template <class T>
    T *Block() {
        auto *p = static_cast<T *>(_GENU__MyMalloc(sizeof(T)));
        memset(p, 0, sizeof(T));
        undo_.push_back([p](STF_List *) { _GENU__MyFree(p); });
        return p;
    }
    // Sets bit when the coin says so, running fill then.
    void Maybe(uint8_t &mask, uint8_t bit, const std::function<void()> &fill) {
        if (!Coin()) return;
        mask |= bit;
        fill();
    }
    ODP_BerDocDescription Doc() {
        ODP_BerDocDescription d{};
        Maybe(d.bit_mask, 0x80, [&] { d.transfer_method = Oid(); });
        Maybe(d.bit_mask, 0x40, [&] { d.content = Value(7); });
        Maybe(d.bit_mask, 0x20, [&] { d.document_type = Oid(); });
        Maybe(d.bit_mask, 0x10, [&] { d.attributes = Set(); });
        return d;
    }
    // A random filter of present and equality items, nested up to depth.
    ODP_BerFilter *Filter(int depth) {
        auto *f = Block<ODP_BerFilter>();
        uint32_t pick = depth > 0 ? Next() % 5 : Next() % 2;
        if (pick == 0) {
            f->choice = GEN_FILTER_ITEM;
            f->u.item.choice = GEN_ITEM_PRESENT;
            f->u.item.u.present = Oid();
        } else if (pick == 1) {
            f->choice = GEN_FILTER_ITEM;
            f->u.item.choice = static_cast<uint16_t>(1 + Next() % 8);
            if (f->u.item.choice == GEN_ITEM_SUBSTRINGS || f->u.item.choice == GEN_ITEM_PRESENT)
                f->u.item.choice = GEN_ITEM_EQUALITY;
            ODP_BerAttrSet *s = Set();
            if (s) f->u.item.u.attribute = s->attribute;
            else f->u.item.u.attribute.type = Oid();
        } else if (pick == 4) {
            f->choice = GEN_FILTER_NOT;
            f->u.not_filter = Filter(depth - 1);
        } else {
            f->choice = static_cast<uint16_t>(pick); // 2 and, 3 or
            ODP_BerFilterList **tail = pick == 2 ? &f->u.and_set : &f->u.or_set;
            for (uint32_t k = Next() % 3; k > 0; --k) {
                auto *n = Block<ODP_BerFilterList>();
                n->filter = *Filter(depth - 1);
                *tail = n;
                tail = &n->next;
            }
        }
        return f;
    }
    template <class Node>
    Node *ListOf(size_t n, const std::function<void(Node *)> &fill) {
        Node *head = nullptr, **tail = &head;
        for (size_t i = 0; i < n; ++i) {
            Node *x = Block<Node>();
            fill(x);
            *tail = x;
            tail = &x->next;
        }
        return head;
    }

  private:
    std::mt19937 &rng_;
    std::vector<GENU_ShortOID> ids_;
    std::vector<std::function<void(STF_List *)>> undo_;
};

// One structure of a PDU, filled at random (the arena owns its parts).
inline void *RandomOperationPdu(Arena &a, int pdu) {
    switch (pdu) {
    case ODP_PDU_PRINT_ARG: {
        auto *p = a.Block<ODP_BerPrintArg>();
        p->choice = static_cast<uint16_t>(1 + a.Next() % 3);
        if (p->choice == 1) {
            auto &c = p->u.create_job;
            c.printer_name = a.Value(27);
            a.Maybe(c.bit_mask, 0x80, [&] { c.job_submission_complete = 0; });
            a.Maybe(c.bit_mask, 0x40, [&] { c.job_attributes = a.Set(); });
            a.Maybe(c.bit_mask, 0x20, [&] { c.first_document = a.Doc(); });
            a.Maybe(c.bit_mask, 0x10, [&] { c.common_arguments = a.Set(); });
        } else if (p->choice == 2) {
            auto &c = p->u.add_document;
            a.JobId(c.existing_job);
            a.Maybe(c.bit_mask, 0x80, [&] { c.job_submission_complete = 0; });
            c.new_document = a.Doc();
            a.Maybe(c.bit_mask, 0x40, [&] { c.common_arguments = a.Set(); });
        } else {
            auto &c = p->u.close_job;
            a.JobId(c.existing_job);
            a.Maybe(c.bit_mask, 0x80, [&] { c.common_arguments = a.Set(); });
        }
        return p;
    }
    case ODP_PDU_LIST_ARG: {
        auto *p = a.Block<ODP_BerListArg>();
        p->choice = static_cast<uint16_t>(1 + a.Next() % 2);
        if (p->choice == 1) {
            auto &c = p->u.continuation;
            c.context = a.Value(20);
            a.Maybe(c.bit_mask, 0x80, [&] { c.abort = 1; });
            a.Maybe(c.bit_mask, 0x40, [&] { c.common_arguments = a.Set(); });
        } else {
            auto &c = p->u.new_list;
            c.object_class = a.Oid();
            a.Maybe(c.bit_mask, 0x80, [&] { c.scope = static_cast<int32_t>(a.Next() % 3); });
            a.Maybe(c.bit_mask, 0x40, [&] {
                auto &s = c.selector;
                a.Maybe(s.bit_mask, 0x80, [&] {
                    s.object_identifications =
                        a.ListOf<ODP_BerValueList>(1 + a.Next() % 3, [&](ODP_BerValueList *n) { n->value = a.Value(64); });
                });
                a.Maybe(s.bit_mask, 0x40, [&] { s.filter = a.Filter(2); });
                a.Maybe(s.bit_mask, 0x20, [&] { s.time_limit = static_cast<int32_t>(a.Next()); });
                a.Maybe(s.bit_mask, 0x10, [&] { s.count_limit = static_cast<int32_t>(a.Next()); });
            });
            a.Maybe(c.bit_mask, 0x20, [&] {
                c.requested_attributes =
                    a.ListOf<ODP_BerOidNode>(1 + a.Next() % 4, [&](ODP_BerOidNode *n) { n->oid = a.Oid(); });
            });
            a.Maybe(c.bit_mask, 0x08, [&] { c.common_arguments = a.Set(); });
        }
        return p;
    }
    case ODP_PDU_ENABLE_ARG: case ODP_PDU_DISABLE_ARG: case ODP_PDU_DELETE_ARG: case ODP_PDU_CLEAN_ARG:
    case ODP_PDU_PAUSE_ARG: case ODP_PDU_RESUME_ARG: case ODP_PDU_SHUTDOWN_ARG: {
        auto *p = a.Block<ODP_BerObjectOpArg>();
        p->object_class = a.Oid();
        p->object_instance = a.Value(64);
        a.Maybe(p->bit_mask, 0x80, [&] { p->message = a.Value(16); });
        a.Maybe(p->bit_mask, 0x40, [&] { p->common_arguments = a.Set(); });
        if (pdu == ODP_PDU_SHUTDOWN_ARG) p->when = a.Oid();
        return p;
    }
    case ODP_PDU_SET_ARG: {
        auto *p = a.Block<ODP_BerSetArg>();
        p->object_class = a.Oid();
        p->object_instance = a.Value(64);
        a.Maybe(p->bit_mask, 0x80, [&] { p->message = a.Value(16); });
        a.Maybe(p->bit_mask, 0x40, [&] { p->attr_modification = a.ModSet(); });
        a.Maybe(p->bit_mask, 0x20, [&] { p->common_arguments = a.Set(); });
        return p;
    }
    case ODP_PDU_CONTROL_ARG: {
        auto *p = a.Block<ODP_BerControlArg>();
        p->object_class = a.Oid();
        p->object_instance = a.Value(64);
        p->operations = a.Set();
        a.Maybe(p->bit_mask, 0x40, [&] { p->common_arguments = a.Set(); });
        return p;
    }
    case ODP_PDU_CREATE_ARG: {
        auto *p = a.Block<ODP_BerCreateArg>();
        p->object_class = a.Oid();
        p->object_instance = a.Value(64);
        a.Maybe(p->bit_mask, 0x80, [&] { p->message = a.Value(16); });
        a.Maybe(p->bit_mask, 0x40, [&] { p->initial_value_object = a.Value(64); });
        a.Maybe(p->bit_mask, 0x20, [&] { p->force_creation = a.Coin(); });
        a.Maybe(p->bit_mask, 0x10, [&] { p->object_attributes = a.Set(); });
        a.Maybe(p->bit_mask, 0x08, [&] { p->common_arguments = a.Set(); });
        return p;
    }
    case ODP_PDU_SEND_EVENT_ARG: {
        auto *p = a.Block<ODP_BerSendEventArg>();
        p->event = a.Value(18);
        a.Maybe(p->bit_mask, 0x80, [&] { p->event_attributes = a.Set(); });
        a.Maybe(p->bit_mask, 0x40, [&] { p->message = a.Value(16); });
        a.Maybe(p->bit_mask, 0x20, [&] { p->common_arguments = a.Set(); });
        return p;
    }
    case ODP_PDU_CANCEL_JOB_ARG: {
        auto *p = a.Block<ODP_BerCancelJobArg>();
        a.JobId(p->existing_job);
        a.Maybe(p->bit_mask, 0x80, [&] { p->document_number = static_cast<int32_t>(a.Next() % 50); });
        a.Maybe(p->bit_mask, 0x40, [&] { p->cancel_message = a.Value(16); });
        a.Maybe(p->bit_mask, 0x20, [&] { p->retention_period = static_cast<int32_t>(a.Next()); });
        a.Maybe(p->bit_mask, 0x10, [&] { p->common_arguments = a.Set(); });
        return p;
    }
    case ODP_PDU_MODIFY_JOB_ARG: {
        auto *p = a.Block<ODP_BerModifyJobArg>();
        a.JobId(p->job_identification);
        a.Maybe(p->bit_mask, 0x80, [&] { p->document_number = static_cast<int32_t>(a.Next() % 50); });
        p->job_attr_modification = a.ModSet();
        a.Maybe(p->bit_mask, 0x40, [&] { p->modify_message = a.Value(16); });
        a.Maybe(p->bit_mask, 0x20, [&] { p->common_arguments = a.Set(); });
        return p;
    }
    case ODP_PDU_PROMOTE_JOB_ARG: {
        auto *p = a.Block<ODP_BerPromoteJobArg>();
        a.JobId(p->job_identification);
        a.Maybe(p->bit_mask, 0x80, [&] { p->promote_message = a.Value(16); });
        a.Maybe(p->bit_mask, 0x40, [&] { p->common_arguments = a.Set(); });
        return p;
    }
    case ODP_PDU_PAUSE_JOB_ARG: case ODP_PDU_INTERRUPT_JOB_ARG: {
        auto *p = a.Block<ODP_BerPauseJobArg>();
        p->job.choice = static_cast<uint16_t>(1 + a.Next() % 2);
        if (p->job.choice == 1)
            a.JobId(p->job.u.job);
        else
            p->job.u.printer = a.Value(27);
        a.Maybe(p->bit_mask, 0x80, [&] { p->message = a.Value(16); });
        a.Maybe(p->bit_mask, 0x40, [&] { p->common_arguments = a.Set(); });
        return p;
    }
    case ODP_PDU_RESUME_JOB_ARG: {
        auto *p = a.Block<ODP_BerResumeJobArg>();
        a.JobId(p->resumed_job);
        a.Maybe(p->bit_mask, 0x80, [&] { p->resume_message = a.Value(16); });
        a.Maybe(p->bit_mask, 0x20, [&] { p->common_arguments = a.Set(); });
        return p;
    }
    case ODP_PDU_RESUBMIT_JOB_ARG: {
        auto *p = a.Block<ODP_BerResubmitJobArg>();
        p->object_class = a.Oid();
        p->object_identification = a.Value(64);
        p->printer = a.Value(6);
        a.Maybe(p->bit_mask, 0x80, [&] { p->message = a.Value(16); });
        a.Maybe(p->bit_mask, 0x40, [&] { p->common_arguments = a.Set(); });
        return p;
    }
    case ODP_PDU_PRINT_RES: {
        auto *p = a.Block<ODP_BerPrintRes>();
        a.JobId(p->job_identification);
        a.Maybe(p->bit_mask, 0x80, [&] { p->oid = a.Oid(); });
        a.Maybe(p->bit_mask, 0x40, [&] { p->server_message = a.Value(16); });
        a.Maybe(p->bit_mask, 0x20, [&] { p->document_status = a.Set(); });
        p->job_status = a.Set();
        return p;
    }
    case ODP_PDU_LIST_RES: {
        auto *p = a.Block<ODP_BerListRes>();
        p->answer_time = a.Value(48);
        a.Maybe(p->bit_mask, 0x80, [&] { p->continuation = a.Value(20); });
        a.Maybe(p->bit_mask, 0x40, [&] { p->limit_encountered = static_cast<int32_t>(a.Next() % 3); });
        p->result_set = a.ListOf<ODP_BerObjectResult>(a.Next() % 3, [&](ODP_BerObjectResult *n) {
            n->object_identification = a.Value(64);
            n->attribute_set = a.Set();
            n->object_class = a.Oid();
        });
        return p;
    }
    case ODP_PDU_CREATE_RES: {
        auto *p = a.Block<ODP_BerObjectOpRes>();
        if (a.Coin()) p->attribute_set = a.Set();
        return p;
    }
    case ODP_PDU_PAUSE_JOB_RES: {
        auto *p = a.Block<ODP_BerPauseJobRes>();
        a.JobId(p->paused_job_identifier);
        p->checkpoint = a.ListOf<ODP_BerValueList>(a.Next() % 3, [&](ODP_BerValueList *n) { n->value = a.Value(74); });
        a.Maybe(p->bit_mask, 0x80, [&] { p->job_status = a.Set(); });
        return p;
    }
    case ODP_PDU_INTERRUPT_JOB_RES: {
        auto *p = a.Block<ODP_BerInterruptJobRes>();
        a.JobId(p->interrupted_job_identifier);
        p->job_status = a.Set();
        return p;
    }
    case ODP_PDU_PAUSE_RES: {
        auto **head = a.Block<ODP_BerPausedJob *>();
        *head = a.ListOf<ODP_BerPausedJob>(a.Next() % 3, [&](ODP_BerPausedJob *n) {
            a.JobId(n->job);
            a.Maybe(n->bit_mask, 0x80, [&] { n->status = a.Set(); });
        });
        return head;
    }
    case ODP_PDU_RESUBMIT_JOB_RES: {
        auto **head = a.Block<ODP_BerObjectStatus *>();
        *head = a.ListOf<ODP_BerObjectStatus>(a.Next() % 3, [&](ODP_BerObjectStatus *n) {
            a.Maybe(n->bit_mask, 0x80, [&] { n->attribute_set = a.Set(); });
        });
        return head;
    }
    default: { // the object operation results
        auto *p = a.Block<ODP_BerObjectOpRes>();
        a.Maybe(p->bit_mask, 0x80, [&] { p->attribute_set = a.Set(); });
        return p;
    }
    }
}

// The PDU numbers of every argument and result.
inline std::vector<int> OperationPdus() {
    std::vector<int> pdus;
    for (int32_t op = 0; op < 30; ++op) {
        for (int pdu : {ODP_ArgumentPDU(op), ODP_ResultPDU(op)}) {
            bool seen = false;
            for (int p : pdus) seen = seen || p == pdu;
            if (pdu && !seen) pdus.push_back(pdu);
        }
    }
    return pdus;
}

inline bool OperationSamples(std::mt19937 &rng, int rounds, std::vector<Sample> &out) {
    for (int r = 0; r < rounds; ++r) {
        Arena a(rng);
        for (int pdu : OperationPdus())
            if (!Encode(pdu, RandomOperationPdu(a, pdu), out)) return false;
    }
    return true;
}

} // namespace vrtest_ops
