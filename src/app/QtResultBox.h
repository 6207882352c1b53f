#pragma once

#include "relay/ResultFormat.h"

class QTextCursor;
class QTextEdit;
class QString;

namespace velmora::app {

// txtResult as the relay writes it: append at the insertion point with a current format whose
// attributes persist until set again.
class QtResultBox : public relay::FormatKeepingBox {
  public:
    explicit QtResultBox(QTextEdit& box);
    void Insert(const std::u16string& text) override;
    void FocusAndNewLine() override;
    void NewLineAtEnd() override;
    void ScrollToEnd() override;

  private:
    // Inserts at the cursor with the current format.
    void InsertAt(QTextCursor& cursor, const QString& text);
    QTextEdit& box_;
};

}  // namespace velmora::app
