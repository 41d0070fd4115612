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
// C++ exception its internal-failure result. An exception that is no C++
// exception passes through untouched: the forced unwinding of a thread
// that is cancelled or exits (THR_ExitThread) must reach its end.
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
#include <exception>
#include <new>

#include "vrcore/stf.h"

namespace vrcore::system::guard {

inline int ToList(STF_List *list, uint32_t code) noexcept {
    if (list) STF_AddStatus(list, code, 0);
    return 1;
}

inline uint32_t Record(STF_List *list, uint32_t code) noexcept {
    if (list) STF_AddStatus(list, code, 0);
    return code;
}

} // namespace vrcore::system::guard

// Inside catch (...): a foreign exception (it has no exception_ptr) goes on.
#define VR_PASS_FOREIGN_                                                                           \
    if (!std::current_exception()) throw;

#define VR_CATCH_STATUS(list, nomem, internal)                                                     \
    catch (const std::bad_alloc &) {                                                               \
        return ::vrcore::system::guard::ToList(list, nomem);                                       \
    }                                                                                              \
    catch (...) {                                                                                  \
        VR_PASS_FOREIGN_                                                                           \
        return ::vrcore::system::guard::ToList(list, internal);                                    \
    }

#define VR_CATCH_RECORD(list, nomem, internal)                                                     \
    catch (const std::bad_alloc &) {                                                               \
        return ::vrcore::system::guard::Record(list, nomem);                                       \
    }                                                                                              \
    catch (...) {                                                                                  \
        VR_PASS_FOREIGN_                                                                           \
        return ::vrcore::system::guard::Record(list, internal);                                    \
    }

#define VR_CATCH_CODE(nomem, internal)                                                             \
    catch (const std::bad_alloc &) {                                                               \
        return nomem;                                                                              \
    }                                                                                              \
    catch (...) {                                                                                  \
        VR_PASS_FOREIGN_                                                                           \
        return internal;                                                                           \
    }

#define VR_CATCH_ERRNO(failed)                                                                     \
    catch (const std::bad_alloc &) {                                                               \
        errno = ENOMEM;                                                                            \
        return failed;                                                                             \
    }                                                                                              \
    catch (...) {                                                                                  \
        VR_PASS_FOREIGN_                                                                           \
        errno = EIO;                                                                               \
        return failed;                                                                             \
    }

#define VR_CATCH_RETURN(failed)                                                                    \
    catch (...) {                                                                                  \
        VR_PASS_FOREIGN_                                                                           \
        return failed;                                                                             \
    }

#define VR_CATCH_VOID                                                                              \
    catch (...) {                                                                                  \
        VR_PASS_FOREIGN_                                                                           \
        return;                                                                                    \
    }
