/* vrcore: definitions shared by every public header. */
#ifndef VRCORE_VRDEFS_H
#define VRCORE_VRDEFS_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define VR_EXPORT __attribute__((visibility("default")))
#else
#define VR_EXPORT
#endif

#ifdef __cplusplus
#define VR_BEGIN_DECLS extern "C" {
#define VR_END_DECLS }
#else
#define VR_BEGIN_DECLS
#define VR_END_DECLS
#endif

#endif /* VRCORE_VRDEFS_H */
