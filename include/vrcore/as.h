/* vrcore attribute sets: the container in which every object, request and
 * result is expressed.
 *
 * A set is an ordered list of attributes; an attribute has an identifier
 * (a short object identifier), a value type, a modify operation, an
 * optional opaque characteristics block and an ordered list of values.
 * Values are opaque: the set reaches them only through the value
 * descriptor {copy, delete} they were stored with.
 *
 * Callers hold handles. A handle is a reference-counted record that stays
 * valid (but stale) after its object has been deleted, until every holder
 * has freed it. Every function validates the handles it is given: a handle
 * that was never issued, has been freed, or is of the wrong kind is
 * reported as invalid (AS_S_BADHANDLE) and never dereferenced beyond the
 * library's own registry of live handle records.
 *
 * Every function takes a status list first, returns 1 at once when it is
 * null, clears it on entry, and returns 0 on success or 1 with the failure
 * codes in the list (the outermost code on top).
 *
 * Sets, their handles and values belong to one thread at a time; separate
 * sets may be used by separate threads. */
#ifndef VRCORE_AS_H
#define VRCORE_AS_H

#include "stf.h"
#include "vrdefs.h"
#include "vrtypes.h"

VR_BEGIN_DECLS

/* Opaque handles. The three kinds share one C type so that a handle of the
 * wrong kind is a run-time error (AS_S_BADHANDLE), not undefined. */
typedef struct AS__HandleRecord *AS_Handle;
typedef AS_Handle AS_SetHandle;
typedef AS_Handle AS_AttrHandle;
typedef AS_Handle AS_AttrValHandle;

/* The null handle of each kind (all null). */
VR_EXPORT extern const AS_SetHandle AS_nullSetHandle;
VR_EXPORT extern const AS_AttrHandle AS_nullAttrHandle;
VR_EXPORT extern const AS_AttrValHandle AS_nullAttrValHandle;

/* A list of values: count addresses of values. A count of 0 may come with
 * a null array. */
typedef struct AS_ValueList {
    uint32_t count;
    void **values;
} AS_ValueList;

/* A list of attribute identifiers. */
typedef struct AS_IdentifierList {
    uint32_t count;
    GENU_ShortOID *ids;
} AS_IdentifierList;

/* Modify operations of an attribute. */
#define AS_MODOP_NOOP (-1)
#define AS_MODOP_NONE 0
#define AS_MODOP_ADD_VALUES 1
#define AS_MODOP_DELETE_VALUES 2
#define AS_MODOP_SET_DEFAULT 3

/* Status codes of this module. */
#define AS_S_MULTIPLE 0xC0030065u     /* identifier held by several attributes */
#define AS_S_WRONGTYPE 0xC0030066u    /* value type differs from the attribute's */
#define AS_S_SETFULL 0xC0030067u      /* the set cannot hold another attribute */
#define AS_S_NOATTR 0xC0030068u       /* no attribute with this identifier */
#define AS_S_ATTRFULL 0xC0030069u     /* the attribute cannot hold more values */
#define AS_S_NOVALUES 0xC003006Au     /* the attribute has no values */
#define AS_S_COPYFAILED 0xC003006Cu   /* a value's copy function failed */
#define AS_S_CORRUPT 0xC003006Du      /* corrupt set, attribute or value */
#define AS_S_CORRUPT1 0xC003006Eu     /* first object of two is corrupt */
#define AS_S_CORRUPT2 0xC003006Fu     /* second object of two is corrupt */
#define AS_S_DELETEFAILED 0xC0030070u /* a value's delete function failed */
#define AS_S_PRESENT 0xC0030071u      /* identifier already present / duplicates */
#define AS_S_TOOMANYUSERS 0xC0030072u /* the handle has too many users */
#define AS_S_BADHANDLE 0xC0030073u    /* invalid handle */
#define AS_S_BADARG1 0xC0030074u      /* first argument after the status list */
#define AS_S_BADARG2 0xC0030075u
#define AS_S_BADARG3 0xC0030076u
#define AS_S_BADARG4 0xC0030077u
#define AS_S_BADARG5 0xC0030078u
#define AS_S_NOMEM 0xC0030079u        /* the allocator returned null */
#define AS_S_NOMOREATTRS 0xC003007Au  /* no next (previous) attribute */
#define AS_S_NOMOREVALUES 0xC003007Bu /* no next (previous) value */
#define AS_S_STALE 0xC003007Cu        /* the handle's object has been deleted */
#define AS_S_STALE1 0xC003007Du       /* first handle of two is stale */
#define AS_S_STALE2 0xC003007Eu       /* second handle of two is stale */
#define AS_S_INTERNAL 0xC003007Fu     /* unexpected internal failure */

/* ---- Sets and handles ---------------------------------------------- */

/* allocator NULL: the default pair. allow_duplicates non-zero: the set may
 * hold several attributes with one identifier. */
VR_EXPORT int AS_Create(STF_List *status, AS_SetHandle *set_out, const GENU_Allocator *allocator,
                        int allow_duplicates);
/* Deletes every attribute and value, then the set; *set receives the null
 * handle. A failing delete function stops it with the rest of the set
 * intact. */
VR_EXPORT int AS_Destroy(STF_List *status, AS_SetHandle *set);
VR_EXPORT int AS_Clear(STF_List *status, AS_SetHandle set);
VR_EXPORT int AS_IsEmpty(STF_List *status, AS_SetHandle set, int *result);
VR_EXPORT int AS_GetCount(STF_List *status, AS_SetHandle set, uint32_t *count);
VR_EXPORT int AS_GetAllocator(STF_List *status, AS_SetHandle set, GENU_Allocator *allocator);
VR_EXPORT int AS_AllowDuplicates(STF_List *status, AS_SetHandle set);
VR_EXPORT int AS_DisallowDuplicates(STF_List *status, AS_SetHandle set);

/* Share a handle: one more user, the same handle returned. */
VR_EXPORT int AS_CopySetHandle(STF_List *status, AS_SetHandle set, AS_SetHandle *copy);
VR_EXPORT int AS_CopyAttrHandle(STF_List *status, AS_AttrHandle attr, AS_AttrHandle *copy);
VR_EXPORT int AS_CopyAttrValHandle(STF_List *status, AS_AttrValHandle val, AS_AttrValHandle *copy);
/* Release one user; stale handles are freed by their last user. The
 * variable receives the null handle. */
VR_EXPORT int AS_FreeSetHandle(STF_List *status, AS_SetHandle *set);
VR_EXPORT int AS_FreeAttrHandle(STF_List *status, AS_AttrHandle *attr);
VR_EXPORT int AS_FreeAttrValHandle(STF_List *status, AS_AttrValHandle *val);

/* ---- Attributes ----------------------------------------------------- */
/* Functions taking (set, identifier): in a set that does not allow
 * duplicates the first attribute with the identifier; in one that does,
 * the identifier must occur exactly once (AS_S_MULTIPLE otherwise).
 * Handles returned through "out" arguments carry one more user each and
 * are released with AS_FreeAttrHandle / AS_FreeSetHandle. */

VR_EXPORT int AS_AddAttr(STF_List *status, AS_SetHandle set, GENU_ShortOID id, uint32_t value_type,
                         AS_AttrHandle *attr_out);
VR_EXPORT int AS_CopyAttr(STF_List *status, AS_SetHandle dest, AS_SetHandle src, GENU_ShortOID id,
                          AS_AttrHandle *attr_out);
VR_EXPORT int AS_CopyAttrR(STF_List *status, AS_SetHandle dest, AS_AttrHandle src,
                           AS_AttrHandle *attr_out);
VR_EXPORT int AS_DeleteAttr(STF_List *status, AS_SetHandle set, GENU_ShortOID id);
VR_EXPORT int AS_DeleteAttrR(STF_List *status, AS_AttrHandle *attr);
VR_EXPORT int AS_FindAttr(STF_List *status, AS_SetHandle set, GENU_ShortOID id,
                          AS_AttrHandle *attr_out);
VR_EXPORT int AS_FindFirstAttr(STF_List *status, AS_SetHandle set, AS_AttrHandle *attr_out,
                               GENU_ShortOID *id_out);
VR_EXPORT int AS_FindNextAttrR(STF_List *status, AS_AttrHandle *attr, GENU_ShortOID *id_out);
VR_EXPORT int AS_FindPrevAttrR(STF_List *status, AS_AttrHandle *attr, GENU_ShortOID *id_out);
VR_EXPORT int AS_GetAttrIDR(STF_List *status, AS_AttrHandle attr, GENU_ShortOID *id_out);
VR_EXPORT int AS_GetAttrSetR(STF_List *status, AS_AttrHandle attr, AS_SetHandle *set_out);
VR_EXPORT int AS_IsAttrPresent(STF_List *status, AS_SetHandle set, GENU_ShortOID id, int *result);
VR_EXPORT int AS_GetAttrValType(STF_List *status, AS_SetHandle set, GENU_ShortOID id,
                                uint32_t *type_out);
VR_EXPORT int AS_GetAttrValTypeR(STF_List *status, AS_AttrHandle attr, uint32_t *type_out);
VR_EXPORT int AS_GetAttrValCount(STF_List *status, AS_SetHandle set, GENU_ShortOID id,
                                 uint32_t *count_out);
VR_EXPORT int AS_GetAttrValCountR(STF_List *status, AS_AttrHandle attr, uint32_t *count_out);
VR_EXPORT int AS_GetAttrModifyOp(STF_List *status, AS_SetHandle set, GENU_ShortOID id,
                                 int32_t *op_out);
VR_EXPORT int AS_GetAttrModifyOpR(STF_List *status, AS_AttrHandle attr, int32_t *op_out);
VR_EXPORT int AS_SetAttrModifyOp(STF_List *status, AS_SetHandle set, GENU_ShortOID id, int32_t op);
VR_EXPORT int AS_SetAttrModifyOpR(STF_List *status, AS_AttrHandle attr, int32_t op);
/* size 0 removes the block (data must still be non-null). */
VR_EXPORT int AS_SetAttrCharacteristics(STF_List *status, AS_SetHandle set, GENU_ShortOID id,
                                        const void *data, uint32_t size);
VR_EXPORT int AS_SetAttrCharacteristicsR(STF_List *status, AS_AttrHandle attr, const void *data,
                                         uint32_t size);
/* Returns a copy made with alloc_fn (NULL: GENU__CoveredMalloc) that the
 * caller frees, or NULL and 0 when the attribute has no block. */
VR_EXPORT int AS_GetAttrCharacteristics(STF_List *status, AS_SetHandle set, GENU_ShortOID id,
                                        void **data_out, uint32_t *size_out, GENU_AllocFn alloc_fn);
VR_EXPORT int AS_GetAttrCharacteristicsR(STF_List *status, AS_AttrHandle attr, void **data_out,
                                         uint32_t *size_out, GENU_AllocFn alloc_fn);

/* ---- Values --------------------------------------------------------- */
/* Plain forms take over the caller's value on success only; "M" forms
 * store a copy made with the descriptor and the set's allocator. Adding by
 * identifier creates the attribute when it is missing. Every add and
 * replace either completes or leaves the set as it was. */

VR_EXPORT int AS_AddAttrVal(STF_List *status, AS_SetHandle set, GENU_ShortOID id,
                            uint32_t value_type, void *value, const GENU_ValueDescriptor *desc,
                            AS_AttrHandle *attr_out);
VR_EXPORT int AS_AddAttrValM(STF_List *status, AS_SetHandle set, GENU_ShortOID id,
                             uint32_t value_type, const void *value,
                             const GENU_ValueDescriptor *desc, AS_AttrHandle *attr_out);
VR_EXPORT int AS_AddAttrValR(STF_List *status, AS_AttrHandle attr, uint32_t value_type, void *value,
                             const GENU_ValueDescriptor *desc);
VR_EXPORT int AS_AddAttrValMR(STF_List *status, AS_AttrHandle attr, uint32_t value_type,
                              const void *value, const GENU_ValueDescriptor *desc);
VR_EXPORT int AS_AddAttrValList(STF_List *status, AS_SetHandle set, GENU_ShortOID id,
                                uint32_t value_type, const AS_ValueList *list,
                                const GENU_ValueDescriptor *desc, AS_AttrHandle *attr_out);
VR_EXPORT int AS_AddAttrValListR(STF_List *status, AS_AttrHandle attr, uint32_t value_type,
                                 const AS_ValueList *list, const GENU_ValueDescriptor *desc);
VR_EXPORT int AS_ReplaceAllAttrVals(STF_List *status, AS_SetHandle set, GENU_ShortOID id,
                                    uint32_t value_type, void *value,
                                    const GENU_ValueDescriptor *desc, AS_AttrHandle *attr_out);
VR_EXPORT int AS_ReplaceAllAttrValsM(STF_List *status, AS_SetHandle set, GENU_ShortOID id,
                                     uint32_t value_type, const void *value,
                                     const GENU_ValueDescriptor *desc, AS_AttrHandle *attr_out);
VR_EXPORT int AS_ReplaceAllAttrValsR(STF_List *status, AS_AttrHandle attr, uint32_t value_type,
                                     void *value, const GENU_ValueDescriptor *desc);
VR_EXPORT int AS_ReplaceAllAttrValsMR(STF_List *status, AS_AttrHandle attr, uint32_t value_type,
                                      const void *value, const GENU_ValueDescriptor *desc);
VR_EXPORT int AS_ReplaceAllAttrValsWithList(STF_List *status, AS_SetHandle set, GENU_ShortOID id,
                                            uint32_t value_type, const AS_ValueList *list,
                                            const GENU_ValueDescriptor *desc,
                                            AS_AttrHandle *attr_out);
VR_EXPORT int AS_ReplaceAllAttrValsWithListR(STF_List *status, AS_AttrHandle attr,
                                             uint32_t value_type, const AS_ValueList *list,
                                             const GENU_ValueDescriptor *desc);
/* Replaces one value in place; the value handle and position stay. */
VR_EXPORT int AS_ReplaceAttrValVR(STF_List *status, AS_AttrValHandle val, uint32_t value_type,
                                  void *value, const GENU_ValueDescriptor *desc);
/* Append deep copies of the source attribute's values. */
VR_EXPORT int AS_CopyAttrVals(STF_List *status, AS_AttrHandle dest, AS_SetHandle src,
                              GENU_ShortOID src_id);
VR_EXPORT int AS_CopyAttrValsR(STF_List *status, AS_AttrHandle dest, AS_AttrHandle src);
VR_EXPORT int AS_DeleteAllAttrVals(STF_List *status, AS_SetHandle set, GENU_ShortOID id);
VR_EXPORT int AS_DeleteAllAttrValsR(STF_List *status, AS_AttrHandle attr);
VR_EXPORT int AS_DeleteAttrValVR(STF_List *status, AS_AttrValHandle *val);
VR_EXPORT int AS_FindFirstAttrVal(STF_List *status, AS_SetHandle set, GENU_ShortOID id,
                                  AS_AttrValHandle *val_out, void **value_out);
VR_EXPORT int AS_FindFirstAttrValR(STF_List *status, AS_AttrHandle attr, AS_AttrValHandle *val_out,
                                   void **value_out);
VR_EXPORT int AS_FindNextAttrValVR(STF_List *status, AS_AttrValHandle *val, void **value_out);
VR_EXPORT int AS_FindPrevAttrValVR(STF_List *status, AS_AttrValHandle *val, void **value_out);
/* Returned values are the stored addresses, valid until deleted. */
VR_EXPORT int AS_GetAttrVal(STF_List *status, AS_SetHandle set, GENU_ShortOID id, void **value_out);
VR_EXPORT int AS_GetAttrValR(STF_List *status, AS_AttrHandle attr, void **value_out);
VR_EXPORT int AS_GetAttrValVR(STF_List *status, AS_AttrValHandle val, void **value_out);
/* The array is allocated with alloc_fn (NULL: GENU__CoveredMalloc); the
 * caller frees the array, not the values. No values: count 0, null array. */
VR_EXPORT int AS_GetAttrValList(STF_List *status, AS_SetHandle set, GENU_ShortOID id,
                                AS_ValueList *list_out, GENU_AllocFn alloc_fn);
VR_EXPORT int AS_GetAttrValListR(STF_List *status, AS_AttrHandle attr, AS_ValueList *list_out,
                                 GENU_AllocFn alloc_fn);
VR_EXPORT int AS_GetAttrValDescriptorVR(STF_List *status, AS_AttrValHandle val,
                                        GENU_ValueDescriptor *desc_out);

/* ---- Set algebra ---------------------------------------------------- */
/* Each builds a new set (user count 1) of deep copies with the allocator
 * given (NULL: the default), or creates nothing. */

VR_EXPORT int AS_Copy(STF_List *status, AS_SetHandle *set_out, AS_SetHandle src,
                      const GENU_Allocator *allocator);
/* The first set's attributes, then the second's. Unless allow_duplicates
 * is non-zero, an identifier repeated within a duplicates-allowing set or
 * shared by both sets is refused (AS_S_PRESENT). */
VR_EXPORT int AS_Append(STF_List *status, AS_SetHandle *set_out, AS_SetHandle first,
                        AS_SetHandle second, const GENU_Allocator *allocator, int allow_duplicates);
/* The base attributes the overlay does not redefine, then the overlay's. */
VR_EXPORT int AS_Overlay(STF_List *status, AS_SetHandle *set_out, AS_SetHandle base,
                         AS_SetHandle overlay, const GENU_Allocator *allocator);
/* The first attribute of each listed identifier, in source order. */
VR_EXPORT int AS_Intersect(STF_List *status, AS_SetHandle *set_out, AS_SetHandle src,
                           const AS_IdentifierList *ids, const GENU_Allocator *allocator);
/* As AS_Intersect, but every listed identifier must be present
 * (AS_S_NOATTR otherwise). */
VR_EXPORT int AS_Subset(STF_List *status, AS_SetHandle *set_out, AS_SetHandle src,
                        const AS_IdentifierList *ids, const GENU_Allocator *allocator);

VR_END_DECLS

#endif /* VRCORE_AS_H */
