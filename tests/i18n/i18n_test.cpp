// Locales and code-set conversion: the mapping file, locale forms, converters.
#include <gtest/gtest.h>
#include <iconv.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "messages/i18n_internal.h"
#include "oid/registry_internal.h"
#include "scratch.h"
#include "status_list.h"
#include "vrcore/genu.h"
#include "vrcore/i18n.h"
#include "vrcore/iconv.h"
#include "vrcore/odp.h"
#include "vrcore/stf.h"

namespace {

using List = vrtest::StatusList;

std::string ShippedDir() { return std::string(VRCORE_SOURCE_DIR) + "/messages"; }

// A registry for the whole program: the dynamic UTF-8 identifier is known.
class RegistryEnv : public ::testing::Environment {
  public:
    void SetUp() override {
        List st;
        ASSERT_EQ(vrcore::oid::CreateRegistry(st, dir_.Path().c_str()), 0u);
        ASSERT_EQ(GENU_Init(st, dir_.Path().c_str(), 0), 0);
    }
    void TearDown() override { GENU_Term(); }

  private:
    vrtest::ScratchDir dir_{"vri18nreg"};
};
const auto *const g_env = ::testing::AddGlobalTestEnvironment(new RegistryEnv);

GENU_ShortOID Utf8Oid() {
    List st;
    GENU_ShortOID id = 0;
    EXPECT_EQ(GENU_AsciiToShortOID(st, vrcore::oid::kUtf8Name, &id), 0);
    return id;
}

using vrcore::i18n::ParseMapping;

struct Loaded {
    bool ok;
    explicit Loaded(const std::string &dir) : ok(I18N_Init(List(), dir.c_str()) == 0) {}
    ~Loaded() { ok &&I18N_Term(List()); }
};

// The process locale for a scope; `ok` says whether it exists.
// Language, territory, code set and reserved field of a DPA locale.
std::string Show(const I18N_DPALocale *l) {
    return std::string(l->language, l->language_length) + "|" +
           std::string(l->territory, l->territory_length) + "|" + std::to_string(l->code_set) +
           "|" + std::to_string(l->reserved);
}

struct ScopedLocale {
    std::string saved = setlocale(LC_ALL, nullptr);
    bool ok;
    explicit ScopedLocale(const char *name) : ok(setlocale(LC_ALL, name) != nullptr) {}
    ~ScopedLocale() { setlocale(LC_ALL, saved.c_str()); }
};

} // namespace

TEST(MappingFile, MalformedLinesAreRefusedWithTheirLineNumber) {
    const struct {
        const char *text;
        size_t line;
    } cases[] = {
        {"\n\n", 2},
        {"# comment\ncodeset-mappings:\n", 1},
        {"codeset-mappings:\nISO8859-1 1..2\n", 2},
        {"codeset-mappings:\nlocale-mappings:\nen_US en US ISO8859-1 99999999999\n", 3},
        {"codeset-mappings:\nlocale-mappings:\nC C <empty> ANSI 1\ntrailing garbage\n", 4},
    };
    for (const auto &c : cases) {
        vrcore::i18n::Tables t;
        t.codesets.push_back({"keep", 1});
        size_t line = 0;
        EXPECT_EQ(ParseMapping(c.text, t, &line), I18N_S_MALFORMED) << c.text;
        EXPECT_EQ(line, c.line) << c.text;
        EXPECT_EQ(t.codesets.size(), 1u) << "tables are untouched on failure";
    }
}

TEST(MappingFile, FieldsAreStoredAsTheFileMeansThem) {
    const char *text = "\n  codeset-mappings:  \r\n"
                       "ASCII-ISH 1.0.10175.1.6.24.3\n"
                       "LATIN 1.0.10175.1.6.24.4\n"
                       "UNKNOWN 1.2.3.4.5.6.7\n"
                       "\n"
                       "locale-mappings:\n"
                       "C x y ASCII-ISH 0\n"
                       "My$Locale$Name english GB LATIN -5\n"
                       "solo e <empty> LATIN 7\n";
    vrcore::i18n::Tables t;
    ASSERT_EQ(ParseMapping(text, t, nullptr), 0u);
    ASSERT_EQ(t.codesets.size(), 2u) << "an identifier unknown here is left out";
    EXPECT_TRUE(t.codesets[0].oid == 368 && t.codesets[1].oid == 369);
    ASSERT_EQ(t.locales.size(), 3u);
    auto show = [](const auto &l) {
        return l.name + "|" + std::string(l.language, 2) + std::to_string(l.language_length) + "|" +
               std::string(l.territory, 2) + std::to_string(l.territory_length) + "|" +
               std::to_string(l.lcid);
    };
    EXPECT_EQ(show(t.locales[0]), "C|C 1|y 1|0");
    EXPECT_EQ(show(t.locales[1]), "My Locale Name|en2|GB2|-5");
    EXPECT_EQ(show(t.locales[2]), "solo|e 1|  0|7");
}

TEST(MappingFile, ShippedFileNamesOnlyConvertibleCodeSets) {
    vrcore::i18n::Tables t;
    ASSERT_EQ(ParseMapping(vrtest::ReadFile(ShippedDir() + "/charset.dat"), t, nullptr), 0u);
    EXPECT_GE(t.codesets.size(), 40u);
    GENU_ShortOID utf8 = Utf8Oid();
    bool saw_utf8 = false;
    for (const auto &c : t.codesets) {
        iconv_t cd = iconv_open("UTF-8", c.name.c_str());
        EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << c.name;
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
        saw_utf8 = saw_utf8 || c.oid == utf8;
        EXPECT_TRUE(c.oid == utf8 ||
                    !std::string(GENU_ShortOIDToAscii(c.oid)).rfind("id-val-code-set-", 0))
            << c.name;
    }
    EXPECT_TRUE(saw_utf8);
    std::set<std::string> names;
    for (const auto &l : t.locales) names.insert(l.name);
    for (const char *want :
         {"C", "C.UTF-8", "en_US", "de_DE", "fr_FR", "ja_JP.EUC-JP", "ja_JP.UTF-8"})
        EXPECT_TRUE(names.count(want)) << want;
}

TEST(Locales, InitCountsAndTermReleases) {
    List st;
    EXPECT_EQ(st.Failed(I18N_Term(st)), I18N_S_FAILURE);
    EXPECT_EQ(I18N_Init(nullptr, nullptr), 1);
    vrtest::ScratchDir empty("vri18n"), malformed("vri18n");
    vrtest::WriteFile(malformed.Path() + "/charset.dat", "locale-mappings:\n");
    EXPECT_EQ(st.Failed(I18N_Init(st, empty.Path().c_str())), I18N_S_NOFILE);
    EXPECT_EQ(st.Failed(I18N_Init(st, malformed.Path().c_str())), I18N_S_MALFORMED);

    ASSERT_EQ(I18N_Init(st, ShippedDir().c_str()), 0);
    ASSERT_EQ(I18N_Init(st, empty.Path().c_str()), 0) << "a later call only counts";
    GENU_ShortOID oid = 0;
    EXPECT_TRUE(!I18N_CodesetNameToOID(st, "ISO8859-1", &oid) && oid == 369);
    EXPECT_EQ(I18N_Term(st), 0);
    EXPECT_EQ(I18N_CodesetNameToOID(st, "ISO8859-1", &oid), 0) << "still one reference";
    EXPECT_EQ(I18N_Term(st), 0);
    EXPECT_EQ(I18N_CodesetNameToOID(st, "ISO8859-1", &oid), 1);
    EXPECT_EQ(I18N_Term(st), 1);
}

TEST(Locales, TranslationsAgreeBothWays) {
    Loaded loaded(ShippedDir());
    ASSERT_TRUE(loaded.ok);
    List st;

    char name[64];
    uint32_t len = 0;
    ASSERT_EQ(I18N_OIDToCodesetName(st, 369, sizeof name, &len, name), 0);
    EXPECT_EQ(name + std::to_string(len), "ISO8859-19");
    ASSERT_EQ(I18N_OIDToCodesetName(st, 369, 4, &len, name), 0);
    EXPECT_STREQ(name, "ISO");
    EXPECT_EQ(st.Failed(I18N_OIDToCodesetName(st, 9999, sizeof name, &len, name)), I18N_S_FAILURE);

    I18N_DPALocale *loc = nullptr;
    ASSERT_EQ(I18N_GetDPALocaleFromLocaleName(st, "de_DE.UTF-8", &loc), 0);
    EXPECT_EQ(Show(loc), "de|DE|" + std::to_string(Utf8Oid()) + "|0");
    // The first record with these facts comes back.
    ASSERT_EQ(I18N_GetLocaleNameFromDPALocale(st, loc, sizeof name, &len, name), 0);
    EXPECT_STREQ(name, "de_DE.UTF-8");
    int32_t lcid = 0;
    EXPECT_TRUE(!I18N_GetLCIDFromDPALocale(st, loc, &lcid) && lcid == 1031);
    free(loc);

    ASSERT_EQ(I18N_GetDPALocaleFromLCID(st, 1041, &loc), 0);
    EXPECT_EQ(std::string(loc->language, 2), "ja");
    free(loc);

    // Matching runs over the DPA locale's own lengths.
    I18N_DPALocale partial{2, {'f', 'r'}, 0, {}, 369, 0};
    ASSERT_EQ(I18N_GetLocaleNameFromDPALocale(st, &partial, sizeof name, &len, name), 0);
    EXPECT_STREQ(name, "fr_FR");

    EXPECT_EQ(st.Failed(I18N_GetDPALocaleFromLocaleName(st, "xx_YY", &loc)), I18N_S_NOLOCALE);
    EXPECT_EQ(st.Failed(I18N_GetDPALocaleFromLCID(st, 4242, &loc)), I18N_S_NOLOCALE);
    partial.code_set = 382; // shift-jis: no French locale uses it
    EXPECT_EQ(st.Failed(I18N_GetLCIDFromDPALocale(st, &partial, &lcid)), I18N_S_NOLOCALE);
}

TEST(Locales, CurrentLocaleFollowsSetlocale) {
    vrtest::ScratchDir dir("vri18n");
    vrtest::WriteFile(dir.Path() + "/charset.dat",
                      "codeset-mappings:\nISO8859-1 1.0.10175.1.6.24.4\nlocale-mappings:\n"
                      "de_DE de DE ISO8859-1 1031\n");
    Loaded loaded(dir.Path());
    ASSERT_TRUE(loaded.ok);
    List st;
    I18N_DPALocale *loc = nullptr;
    {
        ScopedLocale c("C");
        ASSERT_EQ(I18N_GetCurrentDPALocale(st, &loc), 0) << "C needs no record";
        EXPECT_EQ(Show(loc), "C||368|0");
        free(loc);
    }
    ScopedLocale de("de_DE");
    if (!de.ok) GTEST_SKIP() << "locale de_DE is not generated on this machine";
    ASSERT_EQ(I18N_GetCurrentDPALocale(st, &loc), 0);
    EXPECT_EQ(Show(loc), "de|DE|369|0");
    free(loc);
}

namespace {

// A Latin-1 text that takes more room in UTF-8.
const std::string kLatin1 = "Gr\xFC\xDF"
                            "e aus K\xF6ln, \xA3"
                            "5",
                  kUtf8 = "Gr\xC3\xBC\xC3\x9F"
                          "e aus K\xC3\xB6ln, \xC2\xA3"
                          "5";

// The shipped tables loaded and the process in the de_DE locale.
class GermanConversion : public ::testing::Test {
  protected:
    void SetUp() override {
        loaded_.emplace(ShippedDir());
        ASSERT_TRUE(loaded_->ok);
        locale_.emplace("de_DE");
        if (!locale_->ok) GTEST_SKIP() << "locale de_DE is not generated on this machine";
    }
    std::optional<Loaded> loaded_;
    std::optional<ScopedLocale> locale_;
};

} // namespace

// Raw and packed into a value.
TEST_F(GermanConversion, Latin1TextCrossesToAUtf8PeerAndBack) {
    std::thread([] {
        List st;
        EXPECT_EQ(ICONV_ConfigureContext(st, Utf8Oid()), 0);
        ICONV_Context *before = ICONV_GetAndClearContext();
        ASSERT_NE(before, nullptr);
        ICONV_SetContext(before);
        std::string bytes = kLatin1;
        GEN_Text text{
            GEN_KIND_CODESET,
            {.octets = {int32_t(bytes.size()), reinterpret_cast<unsigned char *>(bytes.data())}},
            369};
        GENU_Buffer packed{};
        ASSERT_EQ(ODP_PackAV(st, 28, &text, &packed), 0) << std::hex << STF_GetStatus(st);
        EXPECT_NE(
            std::string(reinterpret_cast<char *>(packed.value), size_t(packed.length)).find(kUtf8),
            std::string::npos);
        _GENU__MyFree(packed.value);
        unsigned char wire[255], back[255];
        uint16_t n = 0, m = 0;
        ASSERT_EQ(
            ICONV_ToBER_OtherCodeSet255(st, reinterpret_cast<const unsigned char *>(kLatin1.data()),
                                        uint16_t(kLatin1.size()), wire, &n),
            0);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(wire), n), kUtf8);
        ASSERT_EQ(ICONV_ToGEN_OtherCodeSet255(st, wire, n, back, &m), 0);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(back), m), kLatin1);

        // Bytes that are not UTF-8 from the peer, and a result too long.
        const unsigned char bad[] = {'a', 0xC3, 0x28};
        EXPECT_EQ(st.Failed(ICONV_ToGEN_OtherCodeSet255(st, bad, sizeof bad, back, &m)),
                  ICONV_S_CONVERT);
        std::string wide(200, '\xE9');
        auto *w = reinterpret_cast<const unsigned char *>(wide.data());
        EXPECT_EQ(st.Failed(ICONV_ToBER_OtherCodeSet255(st, w, uint16_t(wide.size()), wire, &n)),
                  ICONV_S_INCOMPLETE);
        unsigned char wire4095[4095];
        uint32_t n4 = 0;
        EXPECT_EQ(ICONV_ToBER_OtherCodeSet4095(st, w, uint32_t(wide.size()), wire4095, &n4), 0);
        EXPECT_EQ(n4, 400u);
        EXPECT_EQ(ICONV_ConfigureContext(st, 369), 0);
        EXPECT_EQ(ICONV_GetAndClearContext(), before) << "a configured thread keeps its context";
        ICONV_DestroyContext(before);
    }).join();
}

TEST_F(GermanConversion, SameCodeSetOrNoConverterCopiesBytesAndContextsNeedBoth) {
    std::thread([] {
        List st;
        EXPECT_EQ(ICONV_ConfigureContext(st, 369), 0);
        EXPECT_EQ(ICONV_GetAndClearContext(), nullptr) << "same code set: nothing to convert";
        EXPECT_EQ(ICONV_ConfigureContext(st, 380), 0);
        EXPECT_EQ(ICONV_GetAndClearContext(), nullptr) << "a code set the mapping file lacks";
        ICONV_Context *c = nullptr;
        ASSERT_EQ(ICONV_CreateContext(st, 369, 382, &c), 0);
        ICONV_DestroyContext(c);
        EXPECT_EQ(ICONV_CreateContext(st, 369, 9999, &c), 1);
        EXPECT_EQ(c, nullptr);
    }).join();
}

TEST(Conversion, ThreadsShareTablesAndKeepTheirOwnContexts) {
    ScopedLocale de("de_DE");
    if (!de.ok) GTEST_SKIP() << "locale de_DE is not generated on this machine";
    List st;
    ASSERT_EQ(I18N_Init(st, ShippedDir().c_str()), 0);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&failures, i] {
            List tst;
            for (int round = 0; round < 50; ++round) {
                if (I18N_Init(tst, ShippedDir().c_str()) != 0) ++failures;
                GENU_ShortOID oid = 0;
                if (I18N_CodesetNameToOID(tst, "EUC-JP", &oid) != 0 || oid != 383) ++failures;
                if (I18N_Term(tst) != 0) ++failures;
            }
            // Half convert towards a UTF-8 peer, the others copy the byte.
            bool towards_utf8 = i % 2 == 0;
            if (towards_utf8 && ICONV_ConfigureContext(tst, Utf8Oid()) != 0) ++failures;
            unsigned char out[255];
            uint16_t n = 0;
            auto *e = reinterpret_cast<const unsigned char *>("\xE9");
            if (ICONV_ToBER_OtherCodeSet255(tst, e, 1, out, &n) != 0 || n != (towards_utf8 ? 2 : 1))
                ++failures;
        });
    }
    for (auto &t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(I18N_Term(st), 0);
    EXPECT_EQ(I18N_Term(st), 1) << "every Init was matched";
}
