#pragma once

#include <QMetaObject>

#include "platform/IClipboard.h"
#include "platform/IEventLoop.h"

class QImage;

namespace velmora::platform::qt {

QImage ToQImage(const Bitmap& b);
Bitmap FromQImage(const QImage& image);

// The system clipboard through QClipboard. Every change of the clipboard wakes the event
// loop, so a wait for new clipboard content ends as soon as it arrives.
class QtClipboard : public IClipboard {
  public:
    explicit QtClipboard(IEventLoop& loop);
    ~QtClipboard() override;
    QtClipboard(const QtClipboard&) = delete;
    QtClipboard& operator=(const QtClipboard&) = delete;

    bool Clear() override;
    bool SetText(const std::u16string& text) override;
    std::optional<std::u16string> Text() override;
    bool SetImage(const Bitmap& image) override;
    Bitmap Image() override;

  private:
    QMetaObject::Connection changed_;
};

}  // namespace velmora::platform::qt
