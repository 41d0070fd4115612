// Makers, each stated by the whole value it makes; extraction of strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "failalloc.h"
#include "syntax/eacl.h"
#include "syntax/gentype.h"
#include "valuegen.h"
#include "vrcore/genu.h"

namespace {

using namespace vrtest;

const GENU_Allocator kFail = {FailMalloc, FailFree};

// A heap copy of a value, deleted at scope end: a result still pointing into its
// source is read after the source is gone (the sanitizer build reports it).
class Heap {
  public:
    Heap(const vrcore::syntax::TypeInfo &t, const void *value) : t_(t) {
        EXPECT_EQ(vrcore::syntax::CopyNew(StatusList(), &v_, value, nullptr, t), 0);
    }
    ~Heap() { vrcore::syntax::DeleteBlock(StatusList(), v_, nullptr, t_); }
    Heap(const Heap &) = delete;
    Heap &operator=(const Heap &) = delete;
    template <typename T> operator const T *() const { return static_cast<const T *>(v_); }

  private:
    const vrcore::syntax::TypeInfo &t_;
    void *v_ = nullptr;
};

// `make` stores a new block's address at `out` (a void **), or fills it when `embedded`.
struct Maker {
    const char *what;
    const vrcore::syntax::TypeInfo &type;
    std::function<int(STF_List *, void *, const GENU_Allocator *)> make;
    std::string want;  // the value's dump; unused when the maker must fail
    uint32_t code = 0; // the failure expected
    bool embedded = false;
};

#define MAKE(call)                                                                                 \
    [](STF_List *s, [[maybe_unused]] void *o, const GENU_Allocator *a) { return call; }
// The same with a heap copy `src` of the value at `source`.
#define FROM(type, source, call)                                                                   \
    [](STF_List *s, void *o, const GENU_Allocator *a) {                                            \
        Heap src(type, source);                                                                    \
        return call;                                                                               \
    }
// The maker's output: the address of the new block's pointer, or the structure.
struct At {
    void *o;
    template <typename T> operator T *() const { return static_cast<T *>(o); }
};
#define OUT (At{o})
#define AT (At{o})

// The dump of an O/R name holding one attribute.
std::string OrName(const char *type, const std::string &value) {
    return "{country_name=null administration_domain_name=null network_address=null "
           "terminal_identifier=null private_domain_name=null organization_name=null "
           "numeric_user_id=null personal_name=null organization_unit_names=null "
           "domain_defined_attrs=&{attrs=1[{type=\"" +
           std::string(type) + "\" value=\"" + value +
           "\" }] } extension_attrs=null directory_name=null }";
}

std::vector<Maker> Makers() {
    using namespace vrcore::syntax;
    static const std::string s255(255, 'n'), s256(256, 'n'), s4095(4095, 'a'), s4096(4096, 'a'),
        s128(128, 'a'), over128 = std::string(126, 'a') + "@";
    static const GEN_Text lp0 = Txt(1, "lp0"), abc3 = Txt(3, "abc"), path = Txt(5, "/lib");
    static GEN_NameOrOID syntax886 = Oid(886), syntax3044 = Oid(3044), a4 = Named(1, "A4"),
                         bad_choice{5, {}};
    static const GEN_SimpleName a4_name = Name(1, "A4"), name5 = Name(5, "");
    static uint32_t three = 3;
    static const GEN_DocumentIdentifier doc{{"job-7"}, &three};
    static const GEN_DistNameString printer{Txt(1, "printer-1"), &syntax3044};
    static const GEN_FontReference font{GEN_FONT_SIMPLE_NAME, {.simple_name = a4_name}};
    static const GEN_OctetString xy{2, reinterpret_cast<unsigned char *>(const_cast<char *>("xy"))};
    static const int32_t user = GEN_ACL_USER, op = GEN_ACL_OPERATOR;
    static GEN_SeqOfStrings files2{nullptr, const_cast<char *>("b.dll")},
        files1{&files2, const_cast<char *>("a.dll")};
    const std::string files = "&{string=\"a.dll\" };{string=\"b.dll\" };",
                      lib = "&{text=kind5/0:\"/lib\" }";
    return {
        // Texts and names: kind 5, code set 0, within their lengths.
        {"text of 4095", T_Text, MAKE(GENU_MakeText(s, OUT, s4095.c_str(), a)),
         "{text=kind5/0:\"" + s4095 + "\" }"},
        {"text of 4096", T_Text, MAKE(GENU_MakeText(s, OUT, s4096.c_str(), a)), "", GEN_S_INVALID},
        {"embedded empty text", T_Text, MAKE(GENU_MakeEmbeddedText(s, AT, nullptr, a)),
         "{text=kind5/0: }", 0, true},
        {"embedded string", T_OctetString, MAKE(GENU_MakeEmbeddedString(s, AT, "abc", a)),
         "{octets=3:\"abc\" }", 0, true},
        {"simple name of 255", T_SimpleName, MAKE(GENU_MakeSimpleName(s, OUT, s255.c_str(), a)),
         "{name=kind5/0:\"" + s255 + "\" }"},
        {"embedded simple name of 256", T_SimpleName,
         MAKE(GENU_MakeEmbeddedSimpleName(s, AT, s256.c_str(), a)), "", GEN_S_INVALID, true},
        // Distinguished names: a syntax of choice 1, or none.
        {"name without syntax", T_DistNameString,
         MAKE(GENU_MakeDistNameString2(s, OUT, "CORP\\bob", 0, a)),
         "{name=kind5/0:\"CORP\\bob\" syntax=null }"},
        {"name with syntax", T_DistNameString,
         MAKE(GENU_MakeDistNameString2(s, OUT, "host.example", 3045, a)),
         "{name=kind5/0:\"host.example\" syntax=&{choice=1:u.oid=3045  } }"},
        {"embedded name", T_DistNameString,
         MAKE(GENU_MakeEmbeddedDistNameString2(s, AT, "x", 0, a)),
         "{name=kind5/0:\"x\" syntax=null }", 0, true},
        {"name from parts", T_DistNameString,
         [](STF_List *s, void *o, const GENU_Allocator *a) {
             Heap text(T_Text, &lp0), syntax(T_NameOrOID, &syntax886);
             return GENU_MakeDistNameString(s, OUT, text, syntax, a);
         },
         "{name=kind1/0:\"lp0\" syntax=&{choice=1:u.oid=886  } }"},
        {"name without text", T_DistNameString,
         MAKE(GENU_MakeDistNameString(s, OUT, nullptr, &syntax886, a)), "", GEN_S_NULLARG},
        // Object identifications of each choice.
        {"job", T_ObjectIdent, MAKE(GENU_MakeObjectIdent_JobId(s, OUT, s255.c_str(), a)),
         "{choice=1:u.job_id.value=\"" + s255 + "\"  }"},
        {"job of 256", T_ObjectIdent, MAKE(GENU_MakeObjectIdent_JobId(s, OUT, s256.c_str(), a)), "",
         GEN_S_INVALID},
        {"document", T_ObjectIdent,
         FROM(T_DocumentIdentifier, &doc, GENU_MakeObjectIdent_DocId(s, OUT, src, a)),
         "{choice=2:u.document_id={job.value=\"job-7\" document_number=&{value=3 } }  }"},
        {"distinguished name", T_ObjectIdent,
         FROM(T_DistNameString, &printer, GENU_MakeObjectIdent_DistName(s, OUT, src, a)),
         "{choice=4:u.dist_name={name=kind1/0:\"printer-1\" syntax=&{choice=1:u.oid=3044  } }  }"},
        {"font", T_ObjectIdent,
         FROM(T_FontReference, &font, GENU_MakeObjectIdent_FontRef(s, OUT, src, a)),
         "{choice=5:u.font_ref={choice=1:u.simple_name=kind1/0:\"A4\"  }  }"},
        {"simple name", T_ObjectIdent,
         FROM(T_SimpleName, &a4_name, GENU_MakeObjectIdent_SimpleName(s, OUT, src, a)),
         "{choice=7:u.simple_name=kind1/0:\"A4\"  }"},
        {"name or identifier", T_ObjectIdent,
         FROM(T_NameOrOID, &a4, GENU_MakeObjectIdent_NameOrOID(s, OUT, src, a)),
         "{choice=6:u.name_or_oid={choice=2:u.name=kind1/0:\"A4\"  }  }"},
        {"identifier", T_ObjectIdent, MAKE(GENU_MakeObjectIdent_Oid(s, OUT, 886, a)),
         "{choice=3:u.oid=886  }"},
        {"bad choice", T_ObjectIdent, MAKE(GENU_MakeObjectIdent_NameOrOID(s, OUT, &bad_choice, a)),
         "", GEN_S_INVALID},
        {"media consumed", T_MediaConsumed,
         FROM(T_NameOrOID, &a4, GENU_MakeMediaConsumed(s, OUT, src, 12, a)),
         "{medium={choice=2:u.name=kind1/0:\"A4\"  } count=12 }"},
        // Addresses: procedure 0, the unused argument ignored.
        {"ONC address", T_RPCAddress,
         MAKE(GENU_MakeONCRPCAddress(s, OUT, "spooler", s, 2, 105004, "root", a)),
         "{choice=2:onc={u.onc.host=kind5/0:\"spooler\" u.onc.program=105004 u.onc.version=2 "
         "u.onc.procedure=0 u.onc.auth_name=kind5/0:\"root\" }  }"},
        {"named address", T_RPCAddress, MAKE(GENU_MakeNameRPCAddress(s, OUT, "/.:/servers/lp", a)),
         "{choice=1:u.name=kind5/0:\"/.:/servers/lp\"  }"},
        // Access entries: no name means all users, whatever type is given.
        {"entry for all", T_ExtACL,
         MAKE(GENU_MakeACL(s, OUT, nullptr, nullptr, 0, &user, nullptr, a)),
         "{name=kind5/0:\"\" domain={name=kind5/0: syntax=null } name_type=0 privilege_level=1 }"},
        {"entry", T_ExtACL, MAKE(GENU_MakeACL(s, OUT, "bob", "CORP", 3050, nullptr, &op, a)),
         "{name=kind5/0:\"bob\" domain={name=kind5/0:\"CORP\" syntax=&{choice=1:u.oid=3050  } } "
         "name_type=2 privilege_level=2 }"},
        {"entry of 256", T_ExtACL,
         MAKE(GENU_MakeACL(s, OUT, s256.c_str(), "CORP", 3050, nullptr, nullptr, a)), "",
         GEN_S_INVALID},
        {"list entry", T_PSISAccessControlList,
         MAKE(GENU_MakeONCACL(s, OUT, "alice@host", &user, nullptr, a)),
         "{choice=2:u.octets=10:\"alice@host\"  name_type=&{value=1 } privilege_level=null }"},
        // Error messages: exactly one of text and bytes.
        {"message", T_ErrorMessage, MAKE(GENU_MakeErrorMsg(s, OUT, &lp0, nullptr, a)),
         "{choice=1:u.text=kind1/0:\"lp0\"  }"},
        {"embedded message", T_ErrorMessage,
         MAKE(GENU_MakeEmbeddedErrorMsg(s, AT, nullptr, &xy, a)), "{choice=2:u.octets=2:\"xy\"  }",
         0, true},
        {"message of neither", T_ErrorMessage, MAKE(GENU_MakeErrorMsg(s, OUT, nullptr, nullptr, a)),
         "", GEN_S_NULLARG},
        {"message of both", T_ErrorMessage, MAKE(GENU_MakeErrorMsg(s, OUT, &lp0, &xy, a)), "",
         GEN_S_INVALID},
        {"driver", T_DriverInfo,
         MAKE(GENU_MakeDriverInfo(s, OUT, &lp0, 7, &path, &path, nullptr, &path, &files1, a)),
         "{name=kind1/0:\"lp0\" environment=7 driver_path=&{text=kind5/0:\"/lib\" } data_file=" +
             lib + " config_file=null help_file=" + lib + " dependent_files=" + files + " }"},
        {"preprocessor", T_PreprocessorDefinition,
         MAKE(GENU_MakePreprocessorDefinition(s, OUT, &a4_name, 1, 2, &path, &files1, a)),
         "{name=kind1/0:\"A4\" type=1 exec_type=2 command=kind5/0:\"/lib\" arguments=" + files +
             " }"},
        // Mail addresses: one attribute, escaped, at most 128 characters.
        {"MS Mail address", T_DeliveryAddress,
         MAKE(GEN_MsMailToX400Address(s, OUT, "NET/PO/bob_smith", a)),
         OrName("MS-Mail", "NET(47)PO(47)bob(u)smith")},
        {"mail address of 128", T_DeliveryAddress,
         MAKE(GEN_InternetMailToX400Address(s, OUT, s128.c_str(), a)), OrName("RFC-822", s128)},
        {"mail address over 128", T_DeliveryAddress,
         MAKE(GEN_InternetMailToX400Address(s, OUT, over128.c_str(), a)), "", GEN_S_INVALID},
        {"mail address beyond ASCII", T_DeliveryAddress,
         MAKE(GEN_InternetMailToX400Address(s, OUT, "b\xe9", a)), "", GEN_S_INVALID},
        {"access entry from text", T_ExtACL,
         MAKE(vrcore::syntax::EACLFromText(s, OUT, "name=bob domain=dns:x.y", a)),
         "{name=kind5/0:\"bob\" domain={name=kind5/0:\"x.y\" syntax=&{choice=1:u.oid=3045  } } "
         "name_type=2 privilege_level=1 }"},
        // Latin-1 from kind 1, a copy of kind 3, nothing from the others.
        {"latin-1 text", T_Text, MAKE(GEN_Text2IsoLatin1(s, OUT, &lp0, a)),
         "{text=kind3/0:\"lp0\" }"},
        {"latin-1 copy", T_Text, FROM(T_Text, &abc3, GEN_Text2IsoLatin1(s, OUT, src, a)),
         "{text=kind3/0:\"abc\" }"},
        {"latin-1 name", T_SimpleName,
         FROM(T_SimpleName, &a4_name, GEN_SimpleName2IsoLatin1(s, OUT, src, a)),
         "{name=kind3/0:\"A4\" }"},
        {"latin-1 name of kind 5", T_SimpleName, MAKE(GEN_SimpleName2IsoLatin1(s, OUT, &name5, a)),
         "", GEN_S_NOTSUPP},
        {"latin-1 of counted bytes", T_Text, MAKE(GEN_Text2IsoLatin1(s, OUT, &path, a)), "",
         GEN_S_NOTSUPP},
    };
}

// 0 and the value's dump, or the failure code with the output null or cleared.
uint32_t RunMaker(const Maker &m, const GENU_Allocator *al, std::string *dump) {
    StatusList st;
    std::vector<unsigned char> block(m.type.size, 0xA5);
    void *made = reinterpret_cast<void *>(1);
    if (m.make(st, m.embedded ? block.data() : static_cast<void *>(&made), al) != 0) {
        EXPECT_TRUE(m.embedded ? std::count(block.begin(), block.end(), 0) == long(block.size())
                               : !made);
        return st.Code();
    }
    void *v = m.embedded ? block.data() : made;
    *dump = Dump(m.type, v);
    EXPECT_EQ((m.embedded ? vrcore::syntax::DeepDelete : vrcore::syntax::DeleteBlock)(st, v, al,
                                                                                      m.type, true),
              0);
    return 0;
}

TEST(Make, EveryMakerGivesItsWholeValueOrNothing) {
    for (const Maker &m : Makers()) {
        SCOPED_TRACE(m.what);
        std::string dump;
        ASSERT_EQ(RunMaker(m, nullptr, &dump), m.code);
        if (m.code) continue;
        EXPECT_EQ(dump, m.want);
        SweepFailures(
            [&] {
                uint32_t code = RunMaker(m, &kFail, &dump);
                EXPECT_TRUE(code == 0 || code == GEN_S_NOMEM) << std::hex << code;
                return code == 0;
            },
            [] {});
    }
}

TEST(Extract, KindsAndBounds) {
    StatusList status;
    GEN_OctetString made; // keeps the string's NUL after its bytes
    ASSERT_EQ(GENU_MakeEmbeddedString(status, &made, "abc", nullptr), 0);
    EXPECT_EQ(made.value[3], 0);
    GEN_DeepDeleteOctetString(status, &made, nullptr);
    unsigned char ab[2] = {'a', 'b'};
    GEN_Text octets = Txt(4, "ab"), irv = Txt(1, "irv"), bad = Txt(6, ""), negative = Txt(5, "ab");
    negative.u.octets.length = -2;
    GEN_SimpleName empty = Name(2, ""), unterminated = empty;
    std::memset(unterminated.u.string, 'q', sizeof unterminated.u.string);
    GEN_OctetString os{2, ab};
    const std::string invalid = Code(GEN_S_INVALID);
    EXPECT_EQ(STR(GENU_ExtractText(st, s, &octets, nullptr)), "ab");
    EXPECT_EQ(STR(GENU_ExtractText(st, s, &irv, nullptr)), "irv");
    EXPECT_EQ(STR(GENU_ExtractText(st, s, &bad, nullptr)), invalid);
    EXPECT_EQ(STR(GENU_ExtractText(st, s, &negative, nullptr)), invalid);
    EXPECT_EQ(STR(GENU_ExtractSimpleName(st, s, &empty, nullptr)), "");
    EXPECT_EQ(STR(GENU_ExtractSimpleName(st, s, &unterminated, nullptr)), invalid);
    EXPECT_EQ(STR(GENU_ExtractOctet255(st, s, 256, ab, nullptr)), invalid);
    EXPECT_EQ(STR(GENU_ExtractOctet255(st, s, 2, nullptr, nullptr)), invalid);
    EXPECT_EQ(STR(GENU_ExtractOctetString(st, s, &os, nullptr)), "ab");
}

// None, its identifier, or the name-syntax table's entry for its name (any case).
TEST(Extract, DistNameStringSyntaxes) {
    GEN_NameOrOID dns = Oid(3045), winnt = Named(1, "WINNT"), unknown = Named(1, "no-such-syntax"),
                  unreadable = Named(9, ""), bad{3, {}};
    const struct {
        const GEN_NameOrOID *syntax;
        uint32_t code;
        GENU_ShortOID want;
    } cases[] = {{nullptr, 0, 0},
                 {&dns, 0, 3045},
                 {&winnt, 0, 3050},
                 {&unknown, 0, GENU_NAME_SYNTAX_UNKNOWN},
                 {&unreadable, GEN_S_INVALID, 0},
                 {&bad, GEN_S_INVALID, 0}};
    for (const auto &c : cases) {
        StatusList st;
        GEN_DistNameString d{Txt(1, "CORP\\bob"), const_cast<GEN_NameOrOID *>(c.syntax)};
        char *s = reinterpret_cast<char *>(1);
        GENU_ShortOID syn = 123;
        EXPECT_EQ(st.Failed(GENU_ExtractDistNameString(st, &s, &syn, &d, nullptr)),
                  c.code ? c.code : ~0u);
        EXPECT_EQ(syn, c.want);
        EXPECT_EQ(s ? std::string(s) : "<null>", c.code ? "<null>" : "CORP\\bob");
        GENU__CoveredFree(s);
    }
    EXPECT_EQ(GENU_NameSyntaxToShortOID("NIS+"), 3048u);
    EXPECT_EQ(GENU_NameSyntaxToShortOID(""), GENU_NAME_SYNTAX_UNKNOWN);
}

} // namespace
