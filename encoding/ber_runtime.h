// The BER runtime: encode, decode, free and print structures described by
// compact type descriptions (a control table of our own).
//
// A runtime structure is a plain C structure. Its description says, for
// each component, where it sits, how it is tagged and how it is held:
//   Bool        integer field of `width` bytes, 0 or 1
//   Int, Enum   signed (or, with kUnsigned, unsigned) field of `width` bytes
//   Real        double
//   Null        nothing
//   Octets      {uint32 length; unsigned char *value}, allocated
//   OctetsIn    {uint16 length; unsigned char value[max]} in place
//   StringIn    char[max + 1], zero-terminated, in place
//   Oid         {uint32 length; const unsigned char *value}: content octets
//   Open        {uint32 length; unsigned char *value}: one whole encoding
//   Seq, Set    members; optional members have a bit in the presence octet
//               at offset 0 of the structure, or are pointers (null absent)
//   Choice      uint16 choice number (1..n) at offset 0, alternatives at
//               their offsets
//   SeqOf,SetOf pointer to the first node of a list {next; element at
//               `elem_offset`}, each node `node_size` bytes
//   Ptr         pointer to a separately allocated element
//   Map         a field of the library's own shape carried on the wire as
//               `elem`: the field is turned into a block of that type
//               before encoding and built back from it after decoding
//               (see MapOps)
// A Choice whose type has kChoice32 keeps its number in a 32-bit field.
// Every block the runtime allocates comes from the context's hooks and is
// zero-filled first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vrcore::ber {

enum class Kind : uint8_t {
    Bool,
    Int,
    Enum,
    Real,
    Null,
    Octets,
    OctetsIn,
    StringIn,
    Oid,
    Open,
    Seq,
    Set,
    Choice,
    SeqOf,
    SetOf,
    Ptr,
    Map,
};

// kInPlace: a decoded Oid points into the input instead of a block of
// its own (only for the wire blocks of Map fields, which are gone before
// the decode returns).
enum : uint8_t { kUnsigned = 1, kChoice32 = 2, kInPlace = 4 };

enum class TagMode : uint8_t { None, Implicit, Explicit };
enum : uint8_t { kUniversal = 0, kApplication = 1, kContext = 2, kPrivate = 3 };

struct Type;
struct Hooks;

// Conversions of a Map field. to_wire fills a zero-filled block of the wire
// type from the field; whatever it allocates (through the hooks) is given
// back by wire_release, and it may borrow from the field. to_field fills
// the zero-filled field from a decoded wire block, allocating through the
// hooks; release frees what the field owns (not the field). Both
// conversions return 0 or a code of their own, which the runtime does not
// interpret: no_memory names the one that means memory ran out (reported as
// kNoMemory); any other fails the value (kBadArg when encoding, kConvert
// when decoding, the code shown in the error text).
struct MapOps {
    uint32_t (*to_wire)(const Hooks &h, const void *field, void *wire);
    void (*wire_release)(const Hooks &h, void *wire);
    uint32_t (*to_field)(const Hooks &h, const void *wire, void *field);
    void (*release)(const Hooks &h, void *field);
    uint32_t no_memory;
};

struct Member {
    const char *name;
    const Type *type;
    uint32_t offset;
    TagMode mode;
    uint8_t tag_class;
    uint32_t tag_number;
    uint8_t presence;  // bit in the presence octet; 0 when mandatory
    bool ptr_optional; // a Ptr member that is absent when null
    uint16_t choice;   // alternatives: the choice number
};

struct Type {
    const char *name;
    Kind kind;
    uint8_t flags;
    uint8_t width; // Bool, Int, Enum: bytes of the field
    uint8_t univ;  // universal tag number of strings (4 octets, 22 IA5...)
    uint32_t size; // bytes of the structure (blocks of Ptr and PDU tops)
    uint32_t max;  // OctetsIn, StringIn: capacity; Octets: 0 or a limit
    const Member *members;
    uint32_t nmembers;
    const Type *elem;            // SeqOf, SetOf, Ptr
    uint32_t elem_offset;        // SeqOf, SetOf: element's offset in a node
    uint32_t node_size;          // SeqOf, SetOf
    const MapOps *map = nullptr; // Map: the conversions; elem is the wire type
};

// The hooks and error text of one context.
struct Hooks {
    void *(*alloc)(size_t);
    void (*free)(void *);
};

constexpr int kMaxDepth = 48;                      // nested encodings
constexpr size_t kDefaultDecodeBudget = 64u << 20; // bytes one decode may allocate

// Results: 0 success, else one of these.
enum Result : int {
    kOk = 0,
    kBadArg = 1,   // null structure, unknown PDU, value outside its field
    kNoMemory = 2, // a hook failed or the allocation budget is spent
    kBadData = 3,  // malformed, truncated or unexpected input
    kTooDeep = 4,  // nesting beyond kMaxDepth
    kLimit = 5,    // a value exceeds a length limit of its type
    kConvert = 6,  // well-formed, but a Map field has no library form
    kInternal = 7, // an unexpected failure inside the codec
};

struct Error {
    std::string text;
};

// Encodes `value` of type `t` into a block from the hooks; on failure
// out is {0, null}.
int Encode(const Hooks &h, const Type &t, const void *value, uint32_t *length, unsigned char **out,
           std::string *error);
// Decodes exactly one value of type `t` from the whole input; on success
// *out is a new zero-filled block of t.size bytes holding it.
int Decode(const Hooks &h, const Type &t, const unsigned char *data, size_t length, void **out,
           size_t budget, std::string *error);
// Releases everything a decode allocated, then the block itself.
void FreeTree(const Hooks &h, const Type &t, void *value);
// Releases what `value` owns, not the block.
void FreeContent(const Hooks &h, const Type &t, void *value);
// Appends a readable dump.
void Print(const Type &t, const void *value, std::string &out);

// The content octets of an INTEGER and a REAL exactly as the encoder writes
// and the decoder reads them, for callers that form a primitive element
// themselves. `big` marks an unsigned 64-bit value above the signed range.
constexpr size_t kMaxIntContent = 9;
constexpr size_t kMaxRealContent = 10;
size_t IntContent(int64_t v, bool big, unsigned char *out);
size_t RealContent(double d, unsigned char *out);
// kOk, kBadData (empty, not minimal) or kLimit (outside a field of `width`
// bytes); the field is written only on kOk.
int IntFromContent(const unsigned char *p, size_t n, uint8_t width, bool is_unsigned, void *field);
// kOk or kBadData.
int RealFromContent(const unsigned char *p, size_t n, double *out);

} // namespace vrcore::ber
