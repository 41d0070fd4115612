// Access-control entries read from text that anyone may have written: any
// bytes (up to the first NUL) as the text. The parser must either make a
// whole entry that converts to the list form and back without fault, or
// refuse with the invalid-value code and leave nothing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vrcore/genu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 4096) return 0;
    std::string text(reinterpret_cast<const char *>(data), size);
    STF_List *status = STF_CreateList(nullptr);
    GEN_ExtACL *entry = nullptr;
    if (GENU_eACLFromText(status, &entry, text.c_str()) != 0) {
        uint32_t code = STF_GetStatus(status);
        if (entry || (code != GEN_S_INVALID && code != GEN_S_NOMEM)) abort();
    } else {
        if (!entry || entry->privilege_level < 1 || entry->privilege_level > 3 ||
            entry->name_type < 0 || entry->name_type > 3)
            abort();
        GEN_PSISAccessControlList *list = nullptr;
        if (GENU_ACLToPSIS(status, &list, entry) == 0) {
            GEN_ExtACL *back = nullptr;
            if (GENU_ACLFromPSIS(status, &back, list) != 0) abort();
            GEN_DeleteExtACL(status, back, nullptr);
            GEN_DeletePSISAccessControlList(status, list, nullptr);
        }
        GEN_DeleteExtACL(status, entry, nullptr);
    }
    STF_DeleteList(status);
    return 0;
}
