// The name service's environments and process state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nameservice/ns_store.h"
#include "system/seam.h"
#include "vrcore/ns.h"

namespace vrcore::nameservice {

constexpr uint32_t kListMagic = 0x4e534c48;   // "NSLH"
constexpr uint32_t kDomainMagic = 0x4e534448; // "NSDH"
constexpr uint32_t kDomListMagic = 0x4e53444c;

// The operations of one environment, in this order.
struct EnvOps {
    int (*get_object)(NS_Object *obj, const char *domain);
    int (*get_each)(const Identity &entry, NS_Object **out);
    int (*create_object)(const NS_Object *obj, bool force, uint32_t *flags);
    int (*create_backup)(const NS_Object *obj, NS_Object *const *members, bool force,
                         uint32_t *flags);
    int (*create_group)(const char *name, NS_Object *const *members, const char *domain, bool force,
                        uint32_t *flags);
    int (*delete_object)(const NS_Object *obj, uint32_t *flags);
    int (*list_objects)(int32_t cls, const char *domain, std::vector<Identity> &out);
    int (*list_members)(int32_t cls, const char *name, const char *domain,
                        std::vector<Identity> &out);
    int (*same_host)(const NS_Object *obj, int32_t *same);
    int (*same_server)(const NS_Object *obj, int32_t *same);
    int (*domain_begin)(std::vector<std::string> &names);
    int (*domain_next)(NS_DomainListRec *h, char **name);
    int (*domain_end)(NS_DomainListRec *h);
    int (*init)();
    int (*term)();
    void (*free_list)(std::vector<Identity> &entries);
};

extern const EnvOps kOncOps;
extern const EnvOps kMsrpcOps;

// Process state, set by NS_Init.
struct EnvSlot {
    const char *name = nullptr;
    const EnvOps *ops = nullptr;
    std::string default_domain;
    bool has_default = false;
    bool available = false;
};

struct State {
    bool initialised = false;
    bool trace = false;
    int32_t self_class = NS_CLASS_NONE;
    std::string self_name;
    EnvSlot env[3];
};
State &Shared();

// Objects and strings handed to callers, released by NS_Free*. They pass
// the test seam as the name service's.
void *Zalloc(size_t n);
void Release(void *p);
NS_Object *NewObject();
char *DupString(std::string_view s); // null when out of memory
// Fills the MSRPC part and server fields of an object from a store result.
int FillObject(NS_Object *obj, const Found &f);

} // namespace vrcore::nameservice

struct NS_ListRec {
    uint32_t magic;
    int32_t env;
    std::vector<vrcore::nameservice::Identity> entries;
    size_t cursor;
};

struct NS_DomainRec {
    uint32_t magic;
    int32_t env;
    char *name;
};

struct NS_DomainListRec {
    uint32_t magic;
    int32_t env;
    std::vector<std::string> names;
    size_t cursor;
    bool local_done;
};
