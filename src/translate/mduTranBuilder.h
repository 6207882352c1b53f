#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ICodePage.h"

namespace velmora::translate {

// The sentence terminator differs by source language: "。" for simplified Chinese, "." else.
enum class SegmentMode { Chinese, Western };

// ANSI width (1 or 2 bytes) of every UTF-16 code unit, read once from a code page.
class AnsiWidthTable {
  public:
    explicit AnsiWidthTable(const platform::ICodePage& codePage);
    int operator[](char16_t c) const { return widths_[c]; }

  private:
    std::array<unsigned char, 65536> widths_;
};

// The first width refused when a character is added: a cut comes first. The character that
// caused a cut is added without a second test, so a piece may end up to 2 bytes over 498 (never
// over 500); the endpoint's real limit leaves room for that.
inline constexpr int kPieceByteLimit = 499;

// Splits text into request-sized pieces: one per line (a CR ends it, CR LF appended) and one
// per sentence; a piece that would reach kPieceByteLimit is cut after its last clause break.
// Blank lines are dropped; no piece is ever empty.
std::vector<std::u16string> SegmentText(std::u16string_view text, SegmentMode mode,
                                        const AnsiWidthTable& widths);
// Same, asking the code page for each width (for one-off calls; hot paths keep a table).
std::vector<std::u16string> SegmentText(std::u16string_view text, SegmentMode mode,
                                        const platform::ICodePage& codePage);

// True when the text holds only CR, LF and spaces (and for an empty text).
bool IsBlankText(std::u16string_view text);

}  // namespace velmora::translate
