#pragma once

#include <windows.h>
// winbase.h names a Win16 call Yield, a macro that would eat IEventLoop::Yield.
#undef Yield

#include "platform/IClipboard.h"
#include "platform/IEventLoop.h"

namespace velmora::platform::win32 {

// The system clipboard: CF_UNICODETEXT and CF_DIB. A message-only window of its own owns what
// we put there and listens for changes: every change wakes the event loop, so a wait for new
// clipboard content ends as soon as it arrives. The clipboard is opened with a few bounded
// retries, as another program may hold it for a moment.
class Win32Clipboard : public IClipboard {
  public:
    explicit Win32Clipboard(IEventLoop& loop);
    ~Win32Clipboard() override;
    Win32Clipboard(const Win32Clipboard&) = delete;
    Win32Clipboard& operator=(const Win32Clipboard&) = delete;

    bool Clear() override;
    bool SetText(const std::u16string& text) override;
    std::optional<std::u16string> Text() override;
    bool SetImage(const Bitmap& image) override;
    Bitmap Image() override;
    // Every format held in global memory (at most kMaxFormats, kMaxBytes in all): text, DIBs,
    // file lists, other programs' registered formats; GDI handle formats are left out (their
    // DIB forms are kept). Names are "win32:<id>", or "win32name:<name>" for a registered one.
    std::optional<ClipboardContents> Save() override;
    bool Restore(const ClipboardContents& contents) override;

    static constexpr int kMaxFormats = 32;
    static constexpr std::size_t kMaxBytes = 64u << 20;

  private:
    class Session;
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    IEventLoop& loop_;
    HWND owner_ = nullptr;
};

// The image of a device-independent bitmap in memory (any depth or compression GDI reads);
// empty when the bytes do not hold a whole one. Every pixel comes out opaque.
Bitmap BitmapFromDib(const void* data, std::size_t size);

}  // namespace velmora::platform::win32
