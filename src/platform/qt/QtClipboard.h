#pragma once

#include <QMetaObject>
#include <memory>

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
    // Every format the owner offers (at most kMaxFormats, kMaxBytes in all).
    std::optional<ClipboardContents> Save() override;
    bool Restore(const ClipboardContents& contents) override;
    // Counts the requests other programs make for what SetText served (on X11 a paste is such
    // a request, answered from our event loop).
    std::optional<int> Reads() override;

    static constexpr int kMaxFormats = 32;
    static constexpr std::size_t kMaxBytes = 64u << 20;

    struct Served {
        int reads = 0;
        bool ownRead = false;  // our own reads of what we serve do not count
    };

  private:
    QMetaObject::Connection changed_;
    std::shared_ptr<Served> served_ = std::make_shared<Served>();
};

}  // namespace velmora::platform::qt
