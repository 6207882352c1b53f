#include "app/win32/BrowserControl.h"

#include <exdisp.h>
#include <mshtmhst.h>
#include <ole2.h>
#undef Yield

namespace velmora::app::win32 {

namespace {

// The document engine the control renders with; without it the control shows nothing.
constexpr GUID kHtmlDocument = {
    0x25336920, 0x03f9, 0x11cf, {0x8f, 0xd0, 0x00, 0xaa, 0x00, 0x68, 0x6f, 0x13}};

template <typename T>
void Release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

}  // namespace

// The container side of the control: client site, in-place site and frame, and the host UI
// handler that turns scroll bars and the border off. Everything else is declined.
class BrowserSite final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleInPlaceFrame,
                          public IDocHostUIHandler {
  public:
    explicit BrowserSite(HWND host) : host_(host) {}

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
            *out = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
            *out = static_cast<IOleInPlaceSite*>(this);
        else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) ||
                 IsEqualIID(riid, IID_IOleInPlaceFrame))
            *out = static_cast<IOleInPlaceFrame*>(this);
        else if (IsEqualIID(riid, IID_IDocHostUIHandler))
            *out = static_cast<IDocHostUIHandler*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** c) override {
        if (c) *c = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (both the in-place site and the frame)
    STDMETHODIMP GetWindow(HWND* hwnd) override {
        if (!hwnd) return E_POINTER;
        *hwnd = host_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        if (!frame || !doc || !pos || !clip || !info) return E_POINTER;
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *doc = nullptr;
        GetClientRect(host_, pos);
        GetClientRect(host_, clip);
        info->fMDIApp = FALSE;
        info->hwndFrame = host_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow / IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_FALSE; }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
        if (!info) return E_POINTER;
        // The pages are made to measure for their panes: no scroll bars, no sunken border.
        info->dwFlags = DOCHOSTUIFLAG_SCROLL_NO | DOCHOSTUIFLAG_NO3DBORDER;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override {
        return S_OK;
    }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        if (key) *key = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetExternal(IDispatch** out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }

  private:
    ~BrowserSite() = default;
    HWND host_;
    ULONG refs_ = 1;
};

struct BrowserControl::Objects {
    IOleObject* object = nullptr;
    IWebBrowser2* browser = nullptr;
    IOleInPlaceObject* inPlace = nullptr;
};

BrowserControl::BrowserControl(HWND host)
    : host_(host), site_(new BrowserSite(host)), objects_(std::make_unique<Objects>()) {}

std::unique_ptr<BrowserControl> BrowserControl::Create(HWND host) {
    // The control itself comes with the shell, but it renders through the document engine,
    // which may be missing: without it a pane would stay blank instead of saying so.
    return DocumentEngineAvailable() ? Host(host) : nullptr;
}

bool BrowserControl::DocumentEngineAvailable() {
    IUnknown* engine = nullptr;
    if (FAILED(CoCreateInstance(kHtmlDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&engine))))
        return false;
    engine->Release();
    return true;
}

std::unique_ptr<BrowserControl> BrowserControl::Host(HWND host) {
    if (!IsWindow(host)) return nullptr;
    std::unique_ptr<BrowserControl> control(new BrowserControl(host));
    Objects& o = *control->objects_;
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&o.object))))
        return nullptr;
    if (FAILED(o.object->SetClientSite(static_cast<IOleClientSite*>(control->site_))))
        return nullptr;
    RECT rect;
    GetClientRect(host, &rect);
    if (FAILED(o.object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr,
                                static_cast<IOleClientSite*>(control->site_), 0, host, &rect)))
        return nullptr;
    if (FAILED(o.object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&o.browser))))
        return nullptr;
    o.object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&o.inPlace));
    // Script errors of an ad page are the page's business, not a dialog for the user.
    o.browser->put_Silent(VARIANT_TRUE);
    control->Fit();
    return control;
}

BrowserControl::~BrowserControl() {
    Objects& o = *objects_;
    if (o.inPlace) o.inPlace->InPlaceDeactivate();
    Release(o.inPlace);
    Release(o.browser);
    if (o.object) {
        o.object->Close(OLECLOSE_NOSAVE);
        o.object->SetClientSite(nullptr);
    }
    Release(o.object);
    site_->Release();
}

bool BrowserControl::Navigate(const std::wstring& address) {
    BSTR url = SysAllocStringLen(address.data(), static_cast<UINT>(address.size()));
    if (!url) return false;
    VARIANT none;
    VariantInit(&none);
    const HRESULT hr = objects_->browser->Navigate(url, &none, &none, &none, &none);
    SysFreeString(url);
    return SUCCEEDED(hr);
}

std::wstring BrowserControl::LocationURL() const {
    BSTR url = nullptr;
    std::wstring out;
    if (SUCCEEDED(objects_->browser->get_LocationURL(&url)) && url)
        out.assign(url, SysStringLen(url));
    SysFreeString(url);
    return out;
}

void BrowserControl::Fit() {
    RECT rect;
    GetClientRect(host_, &rect);
    if (objects_->inPlace) objects_->inPlace->SetObjectRects(&rect, &rect);
}

}  // namespace velmora::app::win32
