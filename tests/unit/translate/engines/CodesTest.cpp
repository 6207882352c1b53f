// Which code each engine sends for every language of the table, read from the request the
// engine really builds (or the pair it declines).

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <optional>
#include <string>

#include "platform/fake/FakePlatform.h"
#include "translate/clsGoogleLanguages.h"
#include "translate/engines/ApertiumCodes.h"
#include "translate/engines/ApyEngine.h"
#include "translate/engines/DeeplEngine.h"
#include "translate/engines/FormEngine.h"
#include "translate/engines/GoogleEngine.h"
#include "translate/engines/LibreTranslateEngine.h"
#include "translate/engines/MicrosoftEngine.h"

namespace velmora::translate::engines {
namespace {

using nlohmann::json;
using platform::HttpRequest;
using platform::HttpResponse;
using Code = std::optional<std::string>;

struct Row {
    Code google, microsoft, deeplSource, deeplTarget, libre, apertium;
};

const std::nullopt_t no = std::nullopt;

// Every language of the table; a row missing here fails the test below.
const std::map<std::string, Row> kExpected = {
    {"zh-CN", {"zh-CN", "zh-Hans", "ZH", "ZH-HANS", "zh", no}},
    {"en", {"en", "en", "EN", "EN-US", "en", "eng"}},
    {"zh-TW", {"zh-TW", "zh-Hant", "ZH", "ZH-HANT", "zt", no}},
    {"ga", {"ga", "ga", no, no, "ga", "gle"}},
    {"et", {"et", "et", "ET", "ET", "et", no}},
    {"be", {"be", "be", no, no, "be", "bel"}},
    {"bg", {"bg", "bg", "BG", "BG", "bg", "bul"}},
    {"is", {"is", "is", no, no, "is", "isl"}},
    {"af", {"af", "af", no, no, "af", "afr"}},
    {"da", {"da", "da", "DA", "DA", "da", "dan"}},
    {"de", {"de", "de", "DE", "DE", "de", no}},
    {"ru", {"ru", "ru", "RU", "RU", "ru", "rus"}},
    {"fr", {"fr", "fr", "FR", "FR", "fr", "fra"}},
    {"sw", {"sw", "sw", no, no, "sw", no}},
    {"tl", {"tl", "fil", no, no, "tl", no}},
    {"fi", {"fi", "fi", "FI", "FI", "fi", no}},
    {"nl", {"nl", "nl", "NL", "NL", "nl", "nld"}},
    {"gl", {"gl", "gl", no, no, "gl", "glg"}},
    {"ca", {"ca", "ca", no, no, "ca", "cat"}},
    {"cs", {"cs", "cs", "CS", "CS", "cs", no}},
    {"hr", {"hr", "hr", no, no, "hr", "hbs"}},
    {"lt", {"lt", "lt", "LT", "LT", "lt", no}},
    {"ro", {"ro", "ro", "RO", "RO", "ro", "ron"}},
    {"mt", {"mt", "mt", no, no, "mt", "mlt"}},
    {"ms", {"ms", "ms", no, no, "ms", "zlm"}},
    {"mk", {"mk", "mk", no, no, "mk", "mkd"}},
    {"no", {"no", "nb", "NB", "NB", "nb", "nob"}},
    {"pt", {"pt", "pt", "PT", "PT-PT", "pt", "por"}},
    {"ja", {"ja", "ja", "JA", "JA", "ja", no}},
    {"sr", {"sr", "sr-Cyrl", no, no, "sr", "hbs"}},
    {"sk", {"sk", "sk", "SK", "SK", "sk", no}},
    {"sl", {"sl", "sl", "SL", "SL", "sl", "slv"}},
    {"cy", {"cy", "cy", no, no, "cy", "cym"}},
    {"uk", {"uk", "uk", "UK", "UK", "uk", "ukr"}},
    {"es", {"es", "es", "ES", "ES", "es", "spa"}},
    {"el", {"el", "el", "EL", "EL", "el", no}},
    {"hu", {"hu", "hu", "HU", "HU", "hu", no}},
    {"it", {"it", "it", "IT", "IT", "it", "ita"}},
    {"id", {"id", "id", "ID", "ID", "id", "ind"}},
    {"vi", {"vi", "vi", no, no, "vi", no}},
};

// The other side of each pair: French, which every engine offers, or Spanish for French.
std::string Partner(const std::string& code) {
    return code == "fr" ? "es" : "fr";
}

// Every engine over one fake HTTP whose answers always succeed; lists are not served, so the
// engines that ask for one fall back to their usual codes.
struct Engines : ::testing::Test {
    platform::fake::FakePlatform fp;
    HttpEngineSettings settings{"http://127.0.0.1:1/translate", "k", "r"};
    std::vector<HttpRequest> sent;

    void SetUp() override {
        fp.http.handler = [this](const HttpRequest& r) -> HttpResponse {
            if (r.method == "GET") return {404, "not found"};
            sent.push_back(r);
            return {200, "{}"};
        };
    }
    // The one request the engine sent for the pair, or none.
    std::optional<HttpRequest> Send(IEngine& e, const std::string& src, const std::string& dst) {
        sent.clear();
        if (!e.Supports(src, dst)) return std::nullopt;
        e.TranslatePiece(u"x", src, dst);
        EXPECT_EQ(sent.size(), 1u) << e.Name() << " " << src << ">" << dst;
        if (sent.empty()) return std::nullopt;
        return sent.back();
    }
};

std::string QueryValue(const std::string& url, const std::string& name) {
    const auto at = url.find(name + "=");
    if (at == std::string::npos) return "(none)";
    const auto start = at + name.size() + 1;
    return url.substr(start, url.find('&', start) - start);
}

TEST_F(Engines, EveryTableLanguageHasAnExpectedRow) {
    for (const auto& e : clsGoogleLanguages::Shared().entries())
        EXPECT_TRUE(kExpected.count(e.key)) << e.key;
}

TEST_F(Engines, SourceAndTargetCodesOnTheWire) {
    HostedApiEngine google(kGoogleApi, fp.http, fp.codePage, settings);
    HostedApiEngine microsoft(kMicrosoftApi, fp.http, fp.codePage, settings);
    HostedApiEngine deepl(kDeeplApi, fp.http, fp.codePage, settings);
    LibreTranslateEngine libre(fp.http, fp.codePage, settings);
    ApyEngine apy(fp.http, fp.codePage, settings);
    FormEngine form({fp.http, fp.codePage, fp.loop, "http://127.0.0.1:1/translate_t"});

    for (const auto& entry : clsGoogleLanguages::Shared().entries()) {
        const std::string& code = entry.key;
        const Row& row = kExpected.at(code);
        const std::string other = Partner(code);
        const Row& otherRow = kExpected.at(other);
        SCOPED_TRACE(code);

        for (bool asSource : {true, false}) {
            const std::string src = asSource ? code : other;
            const std::string dst = asSource ? other : code;
            auto pick = [&](const Code& mine, const Code& theirs) {
                return asSource ? mine : theirs;
            };

            auto g = Send(google, src, dst);
            ASSERT_TRUE(g);
            const json gb = json::parse(g->body);
            EXPECT_EQ(gb["source"], asSource ? *row.google : *otherRow.google);
            EXPECT_EQ(gb["target"], asSource ? *otherRow.google : *row.google);

            auto m = Send(microsoft, src, dst);
            ASSERT_TRUE(m);
            EXPECT_EQ(QueryValue(m->url, "from"), asSource ? *row.microsoft : *otherRow.microsoft);
            EXPECT_EQ(QueryValue(m->url, "to"), asSource ? *otherRow.microsoft : *row.microsoft);

            const Code deeplFrom = asSource ? row.deeplSource : otherRow.deeplSource;
            const Code deeplTo = asSource ? otherRow.deeplTarget : row.deeplTarget;
            auto d = Send(deepl, src, dst);
            EXPECT_EQ(d.has_value(), deeplFrom && deeplTo);
            if (d) {
                const json db = json::parse(d->body);
                EXPECT_EQ(db["source_lang"], *deeplFrom);
                EXPECT_EQ(db["target_lang"], *deeplTo);
            }

            auto l = Send(libre, src, dst);
            ASSERT_TRUE(l);
            const json lb = json::parse(l->body);
            EXPECT_EQ(lb["source"], asSource ? *row.libre : *otherRow.libre);
            EXPECT_EQ(lb["target"], asSource ? *otherRow.libre : *row.libre);

            const Code apFrom = pick(row.apertium, otherRow.apertium);
            const Code apTo = pick(otherRow.apertium, row.apertium);
            auto a = Send(apy, src, dst);
            EXPECT_EQ(a.has_value(), apFrom && apTo);
            if (a) {
                EXPECT_EQ(a->body.rfind("langpair=" + *apFrom + "|" + *apTo + "&q=", 0), 0u);
            }

            auto f = Send(form, src, dst);
            ASSERT_TRUE(f);
            EXPECT_NE(f->body.find("&sl=" + src + "&tl=" + dst), std::string::npos);
        }
        EXPECT_EQ(ApertiumCode(code), row.apertium);
    }
}

TEST_F(Engines, CodesOutsideTheTableAreDeclined) {
    HostedApiEngine google(kGoogleApi, fp.http, fp.codePage, settings);
    HostedApiEngine microsoft(kMicrosoftApi, fp.http, fp.codePage, settings);
    HostedApiEngine deepl(kDeeplApi, fp.http, fp.codePage, settings);
    ApyEngine apy(fp.http, fp.codePage, settings);
    LibreTranslateEngine libre(fp.http, fp.codePage, settings);
    FormEngine form({fp.http, fp.codePage, fp.loop, "http://127.0.0.1:1/translate_t"});
    for (IEngine* e :
         std::initializer_list<IEngine*>{&google, &microsoft, &deepl, &apy, &libre, &form}) {
        for (const char* code : {"", "xx", "EN", "zh", "zh-cn", "en "}) {
            EXPECT_FALSE(e->Supports(code, "fr")) << e->Name() << " '" << code << "'";
            EXPECT_FALSE(e->Supports("fr", code)) << e->Name() << " '" << code << "'";
        }
        EXPECT_TRUE(sent.empty());
    }
}

TEST(DeeplUrl, DefaultFollowsTheKindOfKey) {
    EXPECT_EQ(DeeplUrl({"", "abc:fx", ""}), kDeeplFreeUrl);
    EXPECT_EQ(DeeplUrl({"", "abc", ""}), kDeeplProUrl);
    EXPECT_EQ(DeeplUrl({"", "fx", ""}), kDeeplProUrl);
    EXPECT_EQ(DeeplUrl({"http://127.0.0.1:9/v2/translate", "abc:fx", ""}),
              "http://127.0.0.1:9/v2/translate");
}

TEST(LibrePair, ServerListDecidesBetweenOldAndNewChineseCodes) {
    const LibreLanguages modern = {
        {"en", {"zh-Hans", "zh-Hant"}}, {"zh-Hans", {"en"}}, {"zh-Hant", {"en"}}};
    const LibreLanguages classic = {{"en", {"zh", "zt"}}, {"zh", {"en"}}, {"zt", {"en"}}};
    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(LibrePair("zh-CN", "en", &modern), (P{"zh-Hans", "en"}));
    EXPECT_EQ(LibrePair("en", "zh-TW", &modern), (P{"en", "zh-Hant"}));
    EXPECT_EQ(LibrePair("zh-CN", "en", &classic), (P{"zh", "en"}));
    EXPECT_EQ(LibrePair("en", "zh-TW", &classic), (P{"en", "zt"}));
    EXPECT_EQ(LibrePair("zh-CN", "zh-TW", &classic), std::nullopt);  // zh lists only en
    EXPECT_EQ(LibrePair("fr", "en", &classic), std::nullopt);
    EXPECT_EQ(LibrePair("en", "en", nullptr), std::nullopt);
}

}  // namespace
}  // namespace velmora::translate::engines
