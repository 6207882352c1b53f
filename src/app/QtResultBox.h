#pragma once

#include <QTextCharFormat>

#include "relay/IResultBox.h"

class QTextEdit;

namespace velmora::app {

// txtResult as the relay writes it: append at the insertion point with a current format whose
// attributes persist until set again.
class QtResultBox : public relay::IResultBox {
  public:
    explicit QtResultBox(QTextEdit& box);
    void SetColor(std::uint32_t bgr) override;
    void SetBold(bool on) override;
    void SetItalic(bool on) override;
    void Insert(const std::u16string& text) override;
    void FocusAndNewLine() override;
    void NewLineAtEnd() override;
    void ScrollToEnd() override;

  private:
    QTextEdit& box_;
    QTextCharFormat format_;
};

}  // namespace velmora::app
