// Segmentation of text to translate, in both modes, with the real CP936 width table.
// Checks: both overloads agree; a literal model of the scan gives the same pieces; no piece is
// empty; a piece (without the CR LF a line gets) stays under the byte limit unless it is one
// character (see the known fault below); joined, the pieces are the text minus blank lines, with
// each line's CR as CR LF.

#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "platform/Utf8.h"
#include "platform/posix/IconvCodePage.h"
#include "translate/mduTranBuilder.h"

namespace {

using namespace velmora;
using translate::SegmentMode;
using Pieces = std::vector<std::u16string>;

const platform::posix::IconvCodePage& CodePage() {
    static const platform::posix::IconvCodePage page;
    return page;
}

int Width(std::u16string_view s) {
    int w = 0;
    for (char16_t c : s) w += CodePage().AnsiWidth(c);
    return w;
}

bool IsClauseBreak(char16_t c) {
    return std::u16string_view(u",，；;、？?").find(c) != std::u16string_view::npos;
}

// The scan with the committed and open parts kept as texts (their widths kept alongside).
Pieces Model(std::u16string_view text, SegmentMode mode) {
    const char16_t terminator = mode == SegmentMode::Chinese ? u'。' : u'.';
    Pieces out;
    std::u16string committed, open;
    int committedW = 0, openW = 0;
    auto clear = [&] {
        committed.clear();
        open.clear();
        committedW = openW = 0;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const int w = CodePage().AnsiWidth(c);
        if (committedW + openW + w >= translate::kPieceByteLimit) {
            if (!committed.empty()) out.push_back(committed);
            committed = std::move(open);
            committedW = openW;
            open.clear();
            openW = 0;
        }
        if (c == u'\r') {
            if (!translate::IsBlankText(committed + open))
                out.push_back(committed + open + u"\r\n");
            clear();
            if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        } else if (c == terminator) {
            out.push_back(committed + open + c);
            clear();
        } else if (IsClauseBreak(c)) {
            committed += open + c;
            committedW += openW + w;
            open.clear();
            openW = 0;
        } else {
            open += c;
            openW += w;
        }
    }
    if (!(committed + open).empty()) out.push_back(committed + open);
    return out;
}

// Every CR of the text followed by LF (a lone CR gains one), blanks kept.
std::u16string WithCrLf(std::u16string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == u'\r' && (i + 1 >= text.size() || text[i + 1] != u'\n')) out += u'\n';
    }
    return out;
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\r' || c == u'\n';
}

void Check(std::u16string_view text, SegmentMode mode, const translate::AnsiWidthTable& table) {
    const Pieces pieces = translate::SegmentText(text, mode, table);
    FUZZ_CHECK(pieces == translate::SegmentText(text, mode, CodePage()));
    FUZZ_CHECK(pieces == Model(text, mode));

    std::u16string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::u16string& p = pieces[i];
        FUZZ_CHECK(!p.empty());
        std::u16string_view body = p;
        if (body.ends_with(u"\r\n")) body.remove_suffix(2);
        // The limit is tested once per character, before its cut: the character that caused a
        // cut is added untested, so a piece may reach 500 bytes but never pass it.
        const int bound = translate::kPieceByteLimit + 2;
        if (body.size() > 1 && Width(body) >= bound)
            std::fprintf(stderr, "piece %zu of %zu: %zu units, %d bytes, mode %d\n", i,
                         pieces.size(), body.size(), Width(body), static_cast<int>(mode));
        FUZZ_CHECK(body.size() <= 1 || Width(body) < bound);
        joined += p;
    }
    // Only blanks may be dropped, and nothing else may be added: the joined pieces are a
    // subsequence of the text (CR as CR LF) holding all its other characters.
    const std::u16string full = WithCrLf(text);
    std::size_t j = 0;
    for (char16_t c : full) {
        if (j < joined.size() && joined[j] == c) {
            ++j;
        } else {
            FUZZ_CHECK(IsBlank(c));
        }
    }
    FUZZ_CHECK(j == joined.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;  // the model is quadratic; long texts add no new paths
    static const translate::AnsiWidthTable table(CodePage());
    const std::u16string text = platform::Utf8Decode(fuzz::Bytes(data, size));
    Check(text, SegmentMode::Chinese, table);
    Check(text, SegmentMode::Western, table);
    return 0;
}
