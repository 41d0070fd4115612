// The stub engine: one description of each interface drives marshalling in
// all four directions (the client writes the in parameters and reads the
// out parameters, the server reads the in parameters and writes the out
// parameters). A procedure's parameters are the members of two plain C++
// structures, one for the in and one for the out direction; the
// description names each parameter by its offset and its type descriptor.
//
// How a type's value is held in C++ (its "slot"):
//   kSmall uint8_t, kShort and kEnum16 uint16_t, kLong uint32_t, kUuid Uuid,
//   kStruct the structure itself (members at their offsets);
//   kConfArray, kConfVaryingArray: a pointer to the elements (each element
//     in the slot of the element type, `size` bytes apart);
//   kString, kVaryingString: char *, NUL-terminated;
//   kPointer to a structure or scalar: a pointer to the pointee's slot;
//   kPointer to an array or string: the array's or string's own slot (a
//     null pointer is a null pointer).
// Counts (size_is, length_is) are uint32_t members of the structure that
// holds the array, or of the parameter structure for a parameter and for
// the pointee of a pointer that is a parameter.
//
// Referent ids: the writer numbers pointers from 0x20000 up; the reader
// takes any non-zero id. A full pointer whose id repeats with the same
// pointee type is the same value (its data follows its first occurrence
// only); the same id with another pointee type is taken as another value.
//
// A parameter that is an [in] structure passed by reference, or an [out]
// value, is described by its value's type: the outer reference pointer has
// no wire form. A parameter described as a reference pointer carries no
// referent id either, only its pointee.
//
// Decoding allocates only in the call's arena and only after checking a
// count against the bytes that remain. Any wire form that breaks the rules
// gives kBadStubData; bytes after the last parameter are refused unless
// they are fewer than 16 (trailing alignment).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "rpc/ndr.h"
#include "rpc/uuid.h"

namespace vrcore::rpc::ndr {

enum class Kind : uint8_t {
    kSmall,
    kShort,
    kEnum16, // a 16-bit enumeration: values above 0x7fff are refused
    kLong,   // also error_status_t and boolean32
    kUuid,
    kStruct,           // members; a last member of kConfArray makes it conformant
    kPointer,          // `ptr` says which kind; `inner` the pointee
    kConfArray,        // `inner` elements, count at `count_at`
    kConfVaryingArray, // maximum at `count_at`, actual count at `length_at`
    kString,           // NUL-terminated conformant varying string of bytes
    kVaryingString,    // NUL-terminated varying string of at most `bound` bytes, inline
};

enum class Ptr : uint8_t { kRef, kUnique, kFull };

struct Type;

struct Field {
    uint16_t offset;
    const Type *type;
};

struct Type {
    Kind kind;
    uint16_t size = 0; // the slot's size in C++ (element stride for arrays)
    Ptr ptr = Ptr::kUnique;
    const Type *inner = nullptr;
    const Field *fields = nullptr;
    uint8_t field_count = 0;
    uint16_t count_at = 0;
    uint16_t length_at = 0;
    uint16_t bound = 0;
};

// Scalar descriptors shared by every interface.
extern const Type kSmallType, kShortType, kEnum16Type, kLongType, kUuidType, kStringType;
// A unique pointer to a NUL-terminated string (a char * member).
extern const Type kUniqueStringType;

struct Procedure {
    uint16_t opnum;
    const char *name;
    std::span<const Field> in;
    std::span<const Field> out;
    uint16_t in_size; // sizes of the C++ parameter structures
    uint16_t out_size;
};

struct Interface {
    SyntaxId id;
    const char *name;
    std::span<const Procedure> procedures;
    // The procedure of `opnum`, or nullptr (the server answers with the
    // "operation out of range" fault).
    const Procedure *Find(uint16_t opnum) const;
};

// Marshalling: the stub data of the in (request) or out (response)
// parameters of `proc`, read from the structure at `args`, appended to
// `out`. Returns kOk, kNullRefPointer (a reference pointer or required
// value is null), kInvalidBound (a count is out of its bounds),
// kEnumValueOutOfRange, kOutOfMemory; on failure `out` is as it was.
uint32_t MarshalRequest(const Procedure &proc, const void *in_args, std::vector<uint8_t> *out);
uint32_t MarshalResponse(const Procedure &proc, const void *out_args, std::vector<uint8_t> *out);

// Unmarshalling: the parameters decoded from `bytes` (data representation
// `drep0`, the first byte of the packet's; character set ASCII) into the
// structure at `args`, which is zeroed first; what they point to lives in
// `arena`. Returns kOk, kBadStubData, kOutOfMemory; on failure the
// structure may hold partial values (still pointing into the arena).
// A server that serves procedures generically takes the structures from
// the call's arena: Alloc(proc.in_size), Alloc(proc.out_size).
uint32_t UnmarshalRequest(const Procedure &proc, std::span<const uint8_t> bytes, uint8_t drep0,
                          void *in_args, Arena *arena);
uint32_t UnmarshalResponse(const Procedure &proc, std::span<const uint8_t> bytes, uint8_t drep0,
                           void *out_args, Arena *arena);

} // namespace vrcore::rpc::ndr
