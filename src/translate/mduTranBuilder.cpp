#include "translate/mduTranBuilder.h"

namespace velmora::translate {

namespace {

bool IsClauseBreak(char16_t c) {
    switch (c) {
        case u',':
        case u'，':
        case u'；':
        case u';':
        case u'、':
        case u'？':
        case u'?':
            return true;
        default:
            return false;
    }
}

// The parts of the scan are always contiguous runs of the input: the committed part is
// [start, committedEnd), the open part [committedEnd, pos). Indices are 0-based.
template <typename WidthOf>
std::vector<std::u16string> Segment(std::u16string_view text, SegmentMode mode, WidthOf widthOf) {
    const char16_t terminator = mode == SegmentMode::Chinese ? u'。' : u'.';
    std::vector<std::u16string> pieces;
    std::size_t start = 0, committedEnd = 0;
    int width = 0, committedWidth = 0;

    auto emit = [&](std::size_t from, std::size_t to) {
        if (to > from) pieces.emplace_back(text.substr(from, to - from));
    };

    const std::size_t n = text.size();
    for (std::size_t pos = 0; pos < n; ++pos) {
        const char16_t c = text[pos];
        const int w = widthOf(c);
        if (width + w >= kPieceByteLimit) {
            // An empty committed part (one long clause) is not sent as an empty request.
            emit(start, committedEnd);
            // The open part becomes the committed part.
            start = committedEnd;
            committedEnd = pos;
            width -= committedWidth;
            committedWidth = width;
        }
        if (c == u'\r') {
            std::u16string_view line = text.substr(start, pos - start);
            if (!IsBlankText(line)) {
                std::u16string piece(line);
                piece += u"\r\n";
                pieces.push_back(std::move(piece));
            }
            // Only the LF of a CR LF pair is skipped; a lone CR keeps the character after it.
            if (pos + 1 < n && text[pos + 1] == u'\n') ++pos;
            start = committedEnd = pos + 1;
            width = committedWidth = 0;
        } else if (c == terminator) {
            emit(start, pos + 1);
            start = committedEnd = pos + 1;
            width = committedWidth = 0;
        } else if (IsClauseBreak(c)) {
            committedEnd = pos + 1;
            width += w;
            committedWidth = width;
        } else {
            width += w;
        }
    }
    if (width > 0) emit(start, n);
    return pieces;
}

}  // namespace

AnsiWidthTable::AnsiWidthTable(const platform::ICodePage& codePage) {
    for (std::size_t c = 0; c < widths_.size(); ++c)
        widths_[c] = codePage.AnsiWidth(static_cast<char16_t>(c)) == 2 ? 2 : 1;
}

std::vector<std::u16string> SegmentText(std::u16string_view text, SegmentMode mode,
                                        const AnsiWidthTable& widths) {
    return Segment(text, mode, [&widths](char16_t c) { return widths[c]; });
}

std::vector<std::u16string> SegmentText(std::u16string_view text, SegmentMode mode,
                                        const platform::ICodePage& codePage) {
    return Segment(text, mode, [&codePage](char16_t c) {
        return c < 0x80 ? 1 : (codePage.AnsiWidth(c) == 2 ? 2 : 1);
    });
}

bool IsBlankText(std::u16string_view text) {
    for (char16_t c : text) {
        if (c != u'\r' && c != u'\n' && c != u' ') return false;
    }
    return true;
}

}  // namespace velmora::translate
