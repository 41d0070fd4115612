// Values, attribute sets and DPA errors as the server builds them: thin
// owners around the library's C forms.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "vrcore/erdpa.h"
#include "vrcore/odp.h"
#include "vrcore/odpops.h"

namespace vrcore::dpad {

// The value types the server makes, found by their descriptors.
struct Types {
    uint32_t boolean = 0, cardinal = 0, cardinal64 = 0, identifier = 0, job_id = 0, simple_name = 0,
             object_ident = 0, doc_content = 0, time = 0;
    // False when the library lacks one of them.
    bool Find();
};
const Types &ValueTypes();

// A status list for the calls of one step.
class Status {
  public:
    Status() : list_(STF_CreateList(nullptr)) {}
    ~Status() { STF_DeleteList(list_); }
    Status(const Status &) = delete;
    Status &operator=(const Status &) = delete;
    operator STF_List *() const { return list_; }
    uint32_t Code() const { return STF_GetStatus(list_); }

  private:
    STF_List *list_;
};

// An attribute set the server owns.
class Set {
  public:
    Set();
    ~Set();
    Set(const Set &) = delete;
    Set &operator=(const Set &) = delete;
    AS_SetHandle &Handle() { return set_; }
    // Adds (replacing) one value of an attribute of the server's own.
    bool Name(GENU_ShortOID id, const std::string &text);
    bool JobId(GENU_ShortOID id, const std::string &text);
    bool Oid(GENU_ShortOID id, GENU_ShortOID value);
    bool Cardinal(GENU_ShortOID id, uint32_t value);
    bool Bool(GENU_ShortOID id, bool value);
    bool Cardinal64(GENU_ShortOID id, uint64_t value);
    bool SocketAddress(GENU_ShortOID id, const std::string &host, uint32_t port);
    bool DistName(GENU_ShortOID id, const std::string &text);
    bool Time(GENU_ShortOID id, uint32_t seconds); // since the epoch
    // A text-like value (text, descriptor, message, simple or descriptive
    // name, distinguished name) of the attribute's syntax, made from text.
    bool TextLike(GENU_ShortOID id, uint32_t type, const std::string &text);
    // Adds the attributes of an encoded attribute set.
    bool AddEncoded(const std::vector<unsigned char> &ber);
    // A new set with only the attributes whose identifiers are listed.
    bool Select(const std::vector<GENU_ShortOID> &ids, Set *out);

  private:
    AS_SetHandle set_;
};

// A set in the runtime's form, released when it goes.
class BerSet {
  public:
    BerSet() = default;
    ~BerSet();
    BerSet(const BerSet &) = delete;
    BerSet &operator=(const BerSet &) = delete;
    bool From(Set &set);
    ODP_BerAttrSet *List() const { return list_; }

  private:
    ODP_BerAttrSet *list_ = nullptr;
};

// Encodes a structure under a PDU number into *out.
bool Encode(int pdu, const void *structure, std::vector<char> *out);
// The encoding of an attribute-set list (the job attributes as kept).
bool EncodeSet(const ODP_BerAttrSet *list, std::vector<unsigned char> *out);
// A packed value of a type (bytes of the encoding context; _GENU__MyFree).
bool Pack(uint32_t type, const void *value, GENU_Buffer *out);

// The text of a simple name; false for a name that is not text.
bool NameText(const GEN_SimpleName &name, std::string *out);
// The text of a value of a text-like syntax (see Set::TextLike); false for
// another syntax.
bool ValueText(uint32_t type, const void *value, std::string *out);
// Reads an identifier from its encoded form (0 when unknown).
GENU_ShortOID OidOf(const GENU_BerOID &ber);

// A time as the value of a time attribute.
GEN_GeneralizedTime UtcTime(time_t seconds);

// Object identifications of a job and of a named object.
GEN_ObjectIdent JobObject(uint32_t id);
GEN_ObjectIdent NamedObject(const std::string &name);

// An error result under construction.
class Error {
  public:
    Error() = default;
    ~Error();
    Error(const Error &) = delete;
    Error &operator=(const Error &) = delete;
    explicit operator bool() const { return result_ != nullptr; }
    void Update(uint32_t code, const GEN_ObjectIdent &object, const std::string &text);
    // The attribute in question is copied into the error.
    void Attribute(uint32_t code, AS_AttrHandle attribute, const GEN_ObjectIdent &object,
                   const std::string &text);
    void DocumentAccess(uint32_t code, const GEN_ObjectIdent &object, const std::string &text);
    void Selection(uint32_t code, const GEN_ObjectIdent &object, const std::string &text);
    void Access(uint32_t code, const GEN_ObjectIdent &object, const std::string &text);
    void Service(uint32_t code, const GEN_ObjectIdent &object, const std::string &text);
    // The wire kind and the encoded error; false when it cannot be encoded.
    bool Encode(int32_t *kind, std::vector<char> *out) const;
    std::string Text() const;

  private:
    ERDPA_ErrorResult *result_ = nullptr;
};

// Standard problems used by the server.
constexpr uint32_t kAccessInappropriateClass = 1, kAccessInappropriateState = 4;
constexpr uint32_t kAttrIllegalModification = 7, kAttrUnsupportedValue = 10;
constexpr uint32_t kDocNotAvailable = 1, kDocAccessDenied = 3;
constexpr uint32_t kSelInvalid = 1, kSelUnknown = 2;
constexpr uint32_t kServUnclassified = 5, kServUnsupportedParameter = 11, kServInvalidContext = 13,
                   kServUnsupportedOperation = 15, kServResourceLimit = 4;
constexpr uint32_t kUpdateCancelNotPossible = 5;

} // namespace vrcore::dpad
