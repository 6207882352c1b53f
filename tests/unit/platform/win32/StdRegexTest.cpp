#include "platform/win32/StdRegex.h"

#include <gtest/gtest.h>
#include <windows.h>
#undef Yield  // an obsolete no-op macro of <winbase.h>; a call of the event-loop port

#include <string>
#include <vector>

#include "relay/mduSendBuffer.h"
#include "support/RegexCases.h"

namespace velmora::platform::win32 {
namespace {

TEST(StdRegexEngine, CommonSemanticsAndBadPatterns) {
    StdRegexEngine engine;
    regex_cases::ExpectCommonSemantics(engine);
}

TEST(StdRegexEngine, RewritesOnlyUnescapedDotsAndDollarsOutsideClasses) {
    const struct {
        std::u16string in, out;
    } cases[] = {
        {u"a.b", u"a[^\\n]b"},           {u"a\\.b[.$]", u"a\\.b[.$]"},
        {u"[\\].]a.", u"[\\].]a[^\\n]"},  // an escaped ']' does not close the class
        {u"[^]].", u"[^]][^\\n]"},        // ECMAScript: "[^]" is a class of its own
        {u"x$|\\$", u"x(?=\\n?$)|\\$"},  {u"a\\", u"a\\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RewriteForEcmaScript(c.in), c.out) << std::string(c.in.begin(), c.in.end());
}

TEST(StdRegexEngine, DetectsPatternsThatOnlyNeedLineStarts) {
    EXPECT_TRUE(StartsEveryAlternativeWithDotRepeat(relay::mduSendBuffer::SpeakerLinePattern));
    EXPECT_TRUE(StartsEveryAlternativeWithDotRepeat(relay::mduSendBuffer::SpeakerNamePattern));
    EXPECT_TRUE(StartsEveryAlternativeWithDotRepeat(u".*?x|.+y"));
    EXPECT_TRUE(StartsEveryAlternativeWithDotRepeat(u".+[|]|.+(a|b)"));
    EXPECT_FALSE(StartsEveryAlternativeWithDotRepeat(u".+a|b"));
    EXPECT_FALSE(StartsEveryAlternativeWithDotRepeat(u"\\.+a"));
    EXPECT_FALSE(StartsEveryAlternativeWithDotRepeat(u"(.+a)|.+b"));
    EXPECT_FALSE(StartsEveryAlternativeWithDotRepeat(u"a.+"));
}

TEST(StdRegexEngine, LineStartShortcutAgreesWithPlainSearch) {
    StdRegexEngine engine;
    regex_cases::ExpectShortcutAgreesWithPlainSearch(
        engine,
        {std::u16string(relay::mduSendBuffer::SpeakerLinePattern),
         std::u16string(relay::mduSendBuffer::SpeakerNamePattern), u".*b|.+a", u".+\\bx"},
        1500);
}

// The matcher recurses per code unit on the caller's stack. The longest subject taken must come
// back with the right answer on a quarter of the main thread's 2 MiB, and a longer one is
// refused rather than crashed on.
TEST(StdRegexEngine, LongSubjectsAreBoundedNotOverflowed) {
    struct Case {
        std::u16string pattern;
        std::u16string text;
        bool match;
    };
    static std::vector<Case> cases;
    const std::size_t n = StdRegexEngine::kMaxSubject;
    cases = {
        {std::u16string(relay::mduSendBuffer::SpeakerLinePattern),
         std::u16string(n - 8, u'x') + u" 1:22:33", true},
        {std::u16string(relay::mduSendBuffer::SpeakerNamePattern),
         std::u16string(n - 8, u'x') + u" 1:22:33", true},
        {std::u16string(relay::mduSendBuffer::SpeakerLinePattern), std::u16string(n, u'1'), false},
        {u"(a|b)*c", std::u16string(n - 1, u'a') + u"c", true},
        {u"(?:a|b|\\d)*$", std::u16string(n, u'b'), true},
        {u"(a+)+$", std::u16string(n, u'a'), true},
        {u"(?:.)*x", std::u16string(n, u'y'), false},
    };
    static std::vector<std::string> failures;
    static bool finished;
    failures.clear();
    finished = false;
    HANDLE t = CreateThread(
        nullptr, 512 * 1024,
        [](void*) -> DWORD {
            StdRegexEngine engine;
            for (const auto& c : cases) {
                auto re = engine.Compile(c.pattern);
                const std::string name(c.pattern.begin(), c.pattern.end());
                if (c.text.size() != StdRegexEngine::kMaxSubject)
                    failures.push_back("size " + name);
                if (re->Search(c.text).has_value() != c.match) failures.push_back(name);
                if (re->Search(c.text + u"c").has_value()) failures.push_back("long " + name);
            }
            finished = true;  // under Wine an overflow can end just the thread, with code 0
            return 0;
        },
        nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(WaitForSingleObject(t, 60'000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeThread(t, &code);
    CloseHandle(t);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(finished) << "the search overflowed the stack";
    for (const auto& f : failures) ADD_FAILURE() << f;
}

}  // namespace
}  // namespace velmora::platform::win32
