#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "relay/IResultBox.h"

namespace velmora::relay::fake {

// A result box that keeps its text as formatted runs, for tests. Adjacent insertions with the
// same format join into one run, so a test compares what a user would see, not how many calls
// produced it.
class RecordingResultBox : public IResultBox {
  public:
    struct Run {
        std::u16string text;
        std::uint32_t color = kBlack;
        bool bold = false;
        bool italic = false;
        bool operator==(const Run&) const = default;
    };

    void SetColor(std::uint32_t bgr) override { color_ = bgr; }
    void SetBold(bool on) override { bold_ = on; }
    void SetItalic(bool on) override { italic_ = on; }
    void Insert(const std::u16string& text) override {
        if (text.empty()) return;
        if (!runs.empty() && runs.back().color == color_ && runs.back().bold == bold_ &&
            runs.back().italic == italic_) {
            runs.back().text += text;
        } else {
            runs.push_back({text, color_, bold_, italic_});
        }
    }
    void FocusAndNewLine() override {
        ++focusCount;
        if (onFocus) onFocus();
        Insert(u"\r\n");
    }
    void NewLineAtEnd() override { Insert(u"\r\n"); }
    void ScrollToEnd() override { ++scrolls; }

    std::u16string Text() const {
        std::u16string all;
        for (const Run& r : runs) all += r.text;
        return all;
    }
    bool italic() const { return italic_; }

    std::vector<Run> runs;
    int focusCount = 0;
    int scrolls = 0;
    // Runs when the box takes the focus: lets a test play the focus events the window raises.
    std::function<void()> onFocus;

  private:
    std::uint32_t color_ = kBlack;
    bool bold_ = false;
    bool italic_ = false;
};

}  // namespace velmora::relay::fake
