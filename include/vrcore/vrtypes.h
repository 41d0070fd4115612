/* vrcore: types shared by several modules (allocators, value descriptors,
 * short identifiers). */
#ifndef VRCORE_VRTYPES_H
#define VRCORE_VRTYPES_H

#include "stf.h"
#include "vrdefs.h"

VR_BEGIN_DECLS

/* An allocator: allocate(size) returns an address or NULL; free(address).
 * Wherever a function takes a pointer to an allocator, NULL means the
 * default pair GENU__CoveredMalloc / GENU__CoveredFree (the process heap). */
typedef void *(*GENU_AllocFn)(size_t size);
typedef void (*GENU_FreeFn)(void *p);
typedef struct GENU_Allocator {
    GENU_AllocFn alloc;
    GENU_FreeFn free;
} GENU_Allocator;

VR_EXPORT void *GENU__CoveredMalloc(size_t size);
VR_EXPORT void GENU__CoveredFree(void *p);

/* A value descriptor: how to deep-copy and delete values of one syntax.
 * copy makes *out a deep copy of src with the allocator; delete frees a
 * value and everything it owns. Both return 0 on success. */
typedef int (*GENU_CopyFn)(STF_List *status, void **out, const void *src,
                           const GENU_Allocator *alloc);
typedef int (*GENU_DeleteFn)(STF_List *status, void *value, const GENU_Allocator *alloc);
typedef struct GENU_ValueDescriptor {
    GENU_CopyFn copy;
    GENU_DeleteFn del;
} GENU_ValueDescriptor;

/* The 32-bit short form of an object identifier (0: none). */
typedef uint32_t GENU_ShortOID;

/* An encoded buffer: length and address of the bytes. */
typedef struct GENU_Buffer {
    uint32_t length;
    unsigned char *value;
} GENU_Buffer;

VR_END_DECLS

#endif /* VRCORE_VRTYPES_H */
