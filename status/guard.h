// The guard of the exported functions: no C++ exception leaves the
// library. Every exported function runs its body as a function-try-block
// closed by one of these handlers, chosen by its family's error
// convention:
//
//     VR_EXPORT int AS_Create(STF_List *st, ...) try {
//         ...
//     } VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)
//
// std::bad_alloc becomes the family's out-of-memory result and any other
// exception its internal-failure result. The forced unwinding of a
// cancelled or exiting thread passes through untouched.
//
//   VR_CATCH_STATUS(list, nomem, internal)  adds the code to the status list
//                                           (when there is one), returns 1
//   VR_CATCH_RECORD(list, nomem, internal)  adds the code, returns the code
//   VR_CATCH_CODE(nomem, internal)          returns the code
//   VR_CATCH_ERRNO(failed)                  sets errno (ENOMEM, else EIO),
//                                           returns `failed` (-1, NULL)
//   VR_CATCH_RETURN(failed)                 returns `failed` (NULL, a
//                                           documented failure value)
//   VR_CATCH_VOID                           returns
#pragma once

#include <cerrno>
#include <cstdint>
#include <cxxabi.h>
#include <new>

#include "vrcore/stf.h"

namespace vrcore::guard {

inline int ToList(STF_List *list, uint32_t code) noexcept {
    if (list) STF_AddStatus(list, code, 0);
    return 1;
}

inline uint32_t Record(STF_List *list, uint32_t code) noexcept {
    if (list) STF_AddStatus(list, code, 0);
    return code;
}

} // namespace vrcore::guard

#define VR_CATCH_UNWIND_                                                                           \
    catch (abi::__forced_unwind &) {                                                               \
        throw;                                                                                     \
    }

#define VR_CATCH_STATUS(list, nomem, internal)                                                     \
    VR_CATCH_UNWIND_                                                                               \
    catch (const std::bad_alloc &) {                                                               \
        return ::vrcore::guard::ToList(list, nomem);                                               \
    }                                                                                              \
    catch (...) {                                                                                  \
        return ::vrcore::guard::ToList(list, internal);                                            \
    }

#define VR_CATCH_RECORD(list, nomem, internal)                                                     \
    VR_CATCH_UNWIND_                                                                               \
    catch (const std::bad_alloc &) {                                                               \
        return ::vrcore::guard::Record(list, nomem);                                               \
    }                                                                                              \
    catch (...) {                                                                                  \
        return ::vrcore::guard::Record(list, internal);                                            \
    }

#define VR_CATCH_CODE(nomem, internal)                                                             \
    VR_CATCH_UNWIND_                                                                               \
    catch (const std::bad_alloc &) {                                                               \
        return nomem;                                                                              \
    }                                                                                              \
    catch (...) {                                                                                  \
        return internal;                                                                           \
    }

#define VR_CATCH_ERRNO(failed)                                                                     \
    VR_CATCH_UNWIND_                                                                               \
    catch (const std::bad_alloc &) {                                                               \
        errno = ENOMEM;                                                                            \
        return failed;                                                                             \
    }                                                                                              \
    catch (...) {                                                                                  \
        errno = EIO;                                                                               \
        return failed;                                                                             \
    }

#define VR_CATCH_RETURN(failed)                                                                    \
    VR_CATCH_UNWIND_                                                                               \
    catch (...) {                                                                                  \
        return failed;                                                                             \
    }

#define VR_CATCH_VOID                                                                              \
    VR_CATCH_UNWIND_                                                                               \
    catch (...) {                                                                                  \
        return;                                                                                    \
    }
