#include "platform/win32/Win32Clipboard.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "platform/Utf8.h"

namespace velmora::platform::win32 {

namespace {
constexpr int kOpenAttempts = 10;
constexpr int kOpenRetryMs = 20;
constexpr int kMaxSide = 1 << 15;
constexpr std::uint32_t kOpaque = 0xFF000000u;
constexpr wchar_t kOwnerClass[] = L"VelmoraClipboardOwner";

// Memory handed to the clipboard; freed here unless the clipboard took it.
class GlobalMemory {
  public:
    explicit GlobalMemory(std::size_t bytes) : h_(GlobalAlloc(GMEM_MOVEABLE, bytes)) {}
    ~GlobalMemory() {
        if (h_) GlobalFree(h_);
    }
    GlobalMemory(const GlobalMemory&) = delete;
    GlobalMemory& operator=(const GlobalMemory&) = delete;
    HGLOBAL get() const { return h_; }
    void release() { h_ = nullptr; }

  private:
    HGLOBAL h_;
};

class GlobalLockGuard {
  public:
    explicit GlobalLockGuard(HGLOBAL h) : h_(h), p_(h ? GlobalLock(h) : nullptr) {}
    ~GlobalLockGuard() {
        if (p_) GlobalUnlock(h_);
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    void* get() const { return p_; }
    std::size_t size() const { return p_ ? GlobalSize(h_) : 0; }

  private:
    HGLOBAL h_;
    void* p_;
};

class MemoryDc {
  public:
    MemoryDc() : dc_(CreateCompatibleDC(nullptr)) {}
    ~MemoryDc() {
        if (dc_) DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC get() const { return dc_; }

  private:
    HDC dc_;
};

class GdiObject {
  public:
    explicit GdiObject(HGDIOBJ o) : o_(o) {}
    ~GdiObject() {
        if (o_) DeleteObject(o_);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    HGDIOBJ get() const { return o_; }

  private:
    HGDIOBJ o_;
};

class Selected {
  public:
    Selected(HDC dc, HGDIOBJ o) : dc_(dc), old_(SelectObject(dc, o)) {}
    ~Selected() { SelectObject(dc_, old_); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

  private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace

Bitmap BitmapFromDib(const void* data, std::size_t size) {
    Bitmap out;
    if (!data || size < sizeof(BITMAPINFOHEADER)) return out;
    BITMAPINFOHEADER h;
    std::memcpy(&h, data, sizeof h);
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > size || h.biPlanes != 1) return out;
    const long width = h.biWidth;
    const long height = std::labs(h.biHeight);
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return out;
    std::size_t colors = h.biClrUsed;
    if (colors == 0 && h.biBitCount <= 8) colors = std::size_t{1} << h.biBitCount;
    if (colors > 256) return out;
    // Three masks follow a plain header when the pixels are bit fields.
    const std::size_t masks = h.biCompression == BI_BITFIELDS && h.biSize == 40 ? 12 : 0;
    const std::size_t offset = h.biSize + masks + colors * sizeof(RGBQUAD);
    const bool packed = h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS;
    const std::size_t stride = (static_cast<std::size_t>(width) * h.biBitCount + 31) / 32 * 4;
    const std::size_t pixelBytes = packed ? stride * height : h.biSizeImage;
    if (offset > size || pixelBytes == 0 || pixelBytes > size - offset) return out;

    // GDI converts whatever depth, palette or compression the source has into 32 bits.
    BITMAPINFO target{};
    target.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    target.bmiHeader.biWidth = width;
    target.bmiHeader.biHeight = -height;  // top-down, like Bitmap
    target.bmiHeader.biPlanes = 1;
    target.bmiHeader.biBitCount = 32;
    target.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    MemoryDc dc;
    GdiObject dib(CreateDIBSection(dc.get(), &target, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dc.get() || !dib.get() || !bits) return out;
    {
        Selected sel(dc.get(), dib.get());
        const auto* bytes = static_cast<const unsigned char*>(data);
        if (SetDIBitsToDevice(dc.get(), 0, 0, width, height, 0, 0, 0, height, bytes + offset,
                              reinterpret_cast<const BITMAPINFO*>(bytes), DIB_RGB_COLORS) == 0)
            return out;
        GdiFlush();
    }
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.pixels.resize(static_cast<std::size_t>(width) * height);
    std::memcpy(out.pixels.data(), bits, out.pixels.size() * 4);
    for (auto& p : out.pixels) p |= kOpaque;
    return out;
}

}  // namespace velmora::platform::win32

namespace velmora::platform {

using namespace win32;

// CF_UNICODETEXT and CF_DIB, and in Save every format held in global memory: text, DIBs, file
// lists, other programs' registered formats; GDI handle formats are left out (their DIB forms
// are kept). Names are "win32:<id>", or "win32name:<name>" for a registered one. A
// message-only window of our own owns what we put there and listens for changes.
struct SystemClipboard::State {
    explicit State(IEventLoop& l) : loop(l) {}
    IEventLoop& loop;
    HWND owner = nullptr;
};

namespace {

// The clipboard opened for us, closed on every way out. It is opened with a few bounded
// retries, as another program may hold it for a moment.
class Session {
  public:
    explicit Session(const SystemClipboard::State& state) {
        for (int i = 0; i < kOpenAttempts; ++i) {
            if (OpenClipboard(state.owner)) {
                open_ = true;
                return;
            }
            // Another program has it open for a moment; nothing of ours may run meanwhile.
            state.loop.Hold(kOpenRetryMs);
        }
    }
    ~Session() {
        if (open_) CloseClipboard();
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    explicit operator bool() const { return open_; }

  private:
    bool open_ = false;
};

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLIPBOARDUPDATE) {
        if (auto* state =
                reinterpret_cast<SystemClipboard::State*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
            state->loop.Wake();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

SystemClipboard::SystemClipboard(IEventLoop& loop) : state_(std::make_unique<State>(loop)) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = &OwnerProc;
    wc.hInstance = instance;
    wc.lpszClassName = kOwnerClass;
    RegisterClassW(&wc);  // fails harmlessly when a second object registers it again
    HWND owner = CreateWindowExW(0, kOwnerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 instance, nullptr);
    state_->owner = owner;
    if (owner) {
        SetWindowLongPtrW(owner, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state_.get()));
        AddClipboardFormatListener(owner);
    }
}

SystemClipboard::~SystemClipboard() {
    if (state_->owner) {
        RemoveClipboardFormatListener(state_->owner);
        DestroyWindow(state_->owner);
    }
}

std::optional<int> SystemClipboard::Reads() {
    return std::nullopt;
}

bool SystemClipboard::Clear() {
    Session s(*state_);
    return s && EmptyClipboard();
}

bool SystemClipboard::SetText(const std::u16string& text) {
    GlobalMemory mem((text.size() + 1) * sizeof(wchar_t));
    {
        GlobalLockGuard lock(mem.get());
        if (!lock.get()) return false;
        std::memcpy(lock.get(), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }
    Session s(*state_);
    if (!s || !EmptyClipboard()) return false;
    if (!SetClipboardData(CF_UNICODETEXT, mem.get())) return false;
    mem.release();  // the clipboard owns it now
    return true;
}

std::optional<std::u16string> SystemClipboard::Text() {
    Session s(*state_);
    if (!s) return std::nullopt;
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT)) return std::u16string();
    HANDLE h = GetClipboardData(CF_UNICODETEXT);
    if (!h) return std::nullopt;
    GlobalLockGuard lock(h);
    if (!lock.get()) return std::nullopt;
    // Up to the first NUL, never past the block even when it has none.
    const auto* p = static_cast<const char16_t*>(lock.get());
    const std::size_t limit = lock.size() / sizeof(char16_t);
    std::size_t n = 0;
    while (n < limit && p[n] != 0) ++n;
    return std::u16string(p, n);
}

bool SystemClipboard::SetImage(const Bitmap& image) {
    if (image.empty() || image.width > kMaxSide || image.height > kMaxSide ||
        image.pixels.size() < static_cast<std::size_t>(image.width) * image.height)
        return false;
    // 32 bits a pixel, bottom-up: the form every reader of CF_DIB knows. A pixel's bytes in
    // memory (B, G, R, A) are those of 0xAARRGGBB on this little-endian machine.
    const std::size_t row = static_cast<std::size_t>(image.width) * 4;
    GlobalMemory mem(sizeof(BITMAPINFOHEADER) + row * image.height);
    {
        GlobalLockGuard lock(mem.get());
        if (!lock.get()) return false;
        BITMAPINFOHEADER h{};
        h.biSize = sizeof h;
        h.biWidth = image.width;
        h.biHeight = image.height;
        h.biPlanes = 1;
        h.biBitCount = 32;
        h.biCompression = BI_RGB;
        h.biSizeImage = static_cast<DWORD>(row * image.height);
        auto* out = static_cast<unsigned char*>(lock.get());
        std::memcpy(out, &h, sizeof h);
        out += sizeof h;
        for (int y = image.height - 1; y >= 0; --y, out += row)
            std::memcpy(out, image.pixels.data() + static_cast<std::size_t>(y) * image.width, row);
    }
    Session s(*state_);
    if (!s || !EmptyClipboard()) return false;
    if (!SetClipboardData(CF_DIB, mem.get())) return false;
    mem.release();
    return true;
}

Bitmap SystemClipboard::Image() {
    Session s(*state_);
    if (!s || !IsClipboardFormatAvailable(CF_DIB)) return {};
    HANDLE h = GetClipboardData(CF_DIB);
    if (!h) return {};
    GlobalLockGuard lock(h);
    return BitmapFromDib(lock.get(), lock.size());
}

namespace {

// Formats whose data is a GDI handle, not global memory.
bool IsHandleFormat(UINT format) {
    switch (format) {
        case CF_BITMAP:
        case CF_METAFILEPICT:
        case CF_PALETTE:
        case CF_ENHMETAFILE:
        case CF_OWNERDISPLAY:
        case CF_DSPBITMAP:
        case CF_DSPMETAFILEPICT:
        case CF_DSPENHMETAFILE:
            return true;
        default:
            return format >= CF_PRIVATEFIRST && format <= CF_GDIOBJLAST;
    }
}

std::string FormatName(UINT format) {
    if (format >= 0xC000) {
        wchar_t name[256];
        const int n = GetClipboardFormatNameW(format, name, 256);
        if (n > 0) return "win32name:" + Utf8Encode(std::u16string(name, name + n));
    }
    return "win32:" + std::to_string(format);
}

UINT FormatId(const std::string& name) {
    if (name.rfind("win32name:", 0) == 0) {
        const std::u16string wide = Utf8Decode(name.substr(10));
        return RegisterClipboardFormatW(std::wstring(wide.begin(), wide.end()).c_str());
    }
    if (name.rfind("win32:", 0) == 0) {
        try {
            const unsigned long id = std::stoul(name.substr(6));
            return id > 0 && id < 0x10000 ? static_cast<UINT>(id) : 0;
        } catch (const std::exception&) {
            return 0;
        }
    }
    return 0;
}

}  // namespace

std::optional<ClipboardContents> SystemClipboard::Save() {
    Session s(*state_);
    if (!s) return std::nullopt;
    ClipboardContents saved;
    std::size_t total = 0;
    for (UINT f = EnumClipboardFormats(0); f != 0; f = EnumClipboardFormats(f)) {
        if (static_cast<int>(saved.formats.size()) >= kMaxFormats) break;
        if (IsHandleFormat(f)) continue;
        HANDLE h = GetClipboardData(f);
        if (!h) continue;
        GlobalLockGuard lock(h);
        if (!lock.get() || total + lock.size() > kMaxBytes) continue;
        total += lock.size();
        saved.formats.emplace_back(FormatName(f),
                                   std::string(static_cast<const char*>(lock.get()), lock.size()));
    }
    return saved;
}

bool SystemClipboard::Restore(const ClipboardContents& contents) {
    Session s(*state_);
    if (!s || !EmptyClipboard()) return false;
    bool all = true;
    for (const auto& [name, bytes] : contents.formats) {
        const std::string& data = bytes;
        const UINT id = FormatId(name);
        if (id == 0) {
            all = false;
            continue;
        }
        GlobalMemory mem(data.size() ? data.size() : 1);
        {
            GlobalLockGuard lock(mem.get());
            if (!lock.get()) {
                all = false;
                continue;
            }
            std::memcpy(lock.get(), data.data(), data.size());
        }
        if (SetClipboardData(id, mem.get()))
            mem.release();  // the clipboard owns it now
        else
            all = false;
    }
    return all;
}

}  // namespace velmora::platform
