// The trace of filters and error results over structures anyone may have
// built: the bytes choose a filter tree (any choice and item type, sets
// whose attributes may be gone) and an error result made by the builders,
// whose kind may then be none of the eight or its record missing. Tracing must
// finish without fault and answer 0; the error trace may only add its own
// codes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "vrcore/echo.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"

namespace {

struct Bytes {
    const uint8_t *p;
    size_t n;
    uint8_t Next() {
        if (!n) return 0;
        --n;
        return *p++;
    }
};

struct World {
    STF_List *st = STF_CreateList(nullptr);
    std::vector<AS_SetHandle> sets;
    std::vector<AS_AttrHandle> attrs;
    std::vector<GEN_Filter *> filters;
    std::vector<GEN_SetOfFilter *> members;
    GEN_Text text{GEN_KIND_IRV, {const_cast<char *>("text")}, 0};
    GEN_SeqOfValues any{nullptr, &text};
    ~World() {
        for (auto *f : filters) delete f;
        for (auto *m : members) delete m;
        for (auto &a : attrs) AS_FreeAttrHandle(st, &a);
        for (auto &s : sets) AS_Destroy(st, &s);
        STF_DeleteList(st);
    }

    // An attribute of integers or texts, some values or none; its set
    // destroyed when the byte says so.
    AS_AttrHandle Attribute(Bytes &b) {
        AS_SetHandle set = nullptr;
        AS_AttrHandle attr = nullptr;
        if (AS_Create(st, &set, nullptr, 0)) return nullptr;
        uint8_t how = b.Next();
        bool text_type = how & 1;
        GENU_ShortOID id = 900 + (how >> 4);
        AS_AddAttr(st, set, id, text_type ? 28 : 12, &attr);
        for (int i = 0; i < ((how >> 1) & 3); ++i) {
            int32_t v = b.Next();
            if (text_type)
                AS_AddAttrValM(st, set, id, 28, &text, &GENU_TextDesc, nullptr);
            else
                AS_AddAttrValM(st, set, id, 12, &v, &GENU_IntegerDesc, nullptr);
        }
        if (how & 8) AS_Destroy(st, &set);
        if (set) sets.push_back(set);
        if (attr) attrs.push_back(attr);
        return attr;
    }

    GEN_Filter *Filter(Bytes &b, int depth) {
        auto *f = new GEN_Filter{};
        filters.push_back(f);
        uint8_t c = b.Next();
        f->choice = depth > 6 ? GEN_FILTER_ITEM : c % 6;
        switch (f->choice) {
        case GEN_FILTER_AND:
        case GEN_FILTER_OR: {
            GEN_SetOfFilter **tail = f->choice == GEN_FILTER_AND ? &f->u.and_set : &f->u.or_set;
            for (int i = 0; i < (c >> 4) % 4; ++i) {
                auto *m = new GEN_SetOfFilter{nullptr, *Filter(b, depth + 1)};
                members.push_back(m);
                *tail = m;
                tail = &m->next;
            }
            break;
        }
        case GEN_FILTER_NOT: f->u.not_filter = (c & 0x40) ? nullptr : Filter(b, depth + 1); break;
        default: {
            GEN_FilterItem &item = f->u.item;
            item.choice = (c >> 3) % 10;
            if (item.choice == GEN_ITEM_SUBSTRINGS) {
                // The values are texts, the match rule any number.
                item.u.substrings = {901,
                                     28,
                                     static_cast<int32_t>(b.Next() % 6),
                                     (c & 1) ? &text : nullptr,
                                     (c & 2) ? &any : nullptr,
                                     (c & 4) ? &text : nullptr};
            } else if (item.choice == GEN_ITEM_PRESENT) {
                item.u.present = b.Next();
            } else {
                item.u.attribute = Attribute(b);
            }
        }
        }
        return f;
    }

    ERDPA_ErrorResult *Error(Bytes &b) {
        ERDPA_ErrorResult *result = nullptr;
        GEN_ObjectIdent object{};
        object.choice = GEN_OBJID_JOB_ID;
        std::strcpy(object.u.job_id.value, "J1");
        GEN_ErrorMessage message{};
        message.choice = GEN_ERRMSG_TEXT;
        message.u.text = text;
        for (int i = 0; i < 3; ++i) {
            uint8_t kind = b.Next() % 8 + 1, code = b.Next() % 20;
            switch (kind) {
            case ERDPA_UPDATE: ERDPA_Update(st, &result, code, &object, &message); break;
            case ERDPA_ATTRIBUTE:
                ERDPA_Attribute(st, &result, code, Attribute(b), &object, &message);
                break;
            case ERDPA_DOCUMENT_ACCESS:
                ERDPA_DocumentAccess(st, &result, code, &object, &message);
                break;
            case ERDPA_SELECTION:
                ERDPA_Selection(st, &result, code, sets.empty() ? nullptr : sets.back(), &object,
                                &message);
                break;
            case ERDPA_PRINTER: ERDPA_Printer(st, &result, code, &object, &message); break;
            case ERDPA_ACCESS: ERDPA_Access(st, &result, code, &object, &message); break;
            case ERDPA_SERVICE: ERDPA_Service(st, &result, code, nullptr, &object, &message); break;
            default: ERDPA_Security(st, &result, code, &message); break;
            }
        }
        return result;
    }
};

[[maybe_unused]] const bool kLogReady = [] {
    std::string path = "/tmp/vrcore-fuzz-echo-" + std::to_string(getpid());
    LOG_Init(path.c_str(), "EWADXI");
    LOG_SetLogSize(1 << 20);
    LOG_SetMaxNoOfLogs(2);
    return true;
}();

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 2048) return 0;
    Bytes b{data, size};
    World w;
    GEN_Filter *filter = w.Filter(b, 0);
    ERDPA_ErrorResult *error = w.Error(b);
    uint8_t twist = b.Next();
    uint32_t kind = error ? error->kind : 0;
    void *data_kept = error ? error->data : nullptr;
    if (error && (twist & 1)) error->kind = (twist & 0x80) ? 0 : 9 + (twist >> 2); // no kind
    if (error && (twist & 2)) error->data = nullptr;
    STF_List *mine = STF_CreateList(nullptr);
    STF_AddStatus(mine, 0xC0030068u, 0);
    LOG_StartMessage(6, "fuzz", 1, nullptr);
    if (EchoFilter(mine, filter) != 0) abort();
    if (EchoOutCreate(mine, "fuzz", nullptr, error) != 0) abort();
    if (STF_GetStatus(mine) != 0xC0030068u) abort(); // the operation's trace never adds
    uint32_t rc = ERDPA_EchoErrorResult(mine, error);
    uint32_t code = STF_GetStatus(mine);
    if (rc ? (code != ERDPA_S_NORESULT && code != ERDPA_S_BADKIND && code != ERDPA_S_NORECORD)
           : code != 0xC0030068u)
        abort();
    LOG_EndMessage();
    STF_DeleteList(mine);
    if (error) {
        error->kind = kind;
        error->data = data_kept;
        ERDPA_FreeError(w.st, error);
    }
    return 0;
}
