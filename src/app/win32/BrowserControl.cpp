#include "app/win32/BrowserControl.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <ole2.h>
#undef Yield

#include "app/win32/ComRefCounted.h"

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

// An argument passed by reference to a variant is read through it.
const VARIANT& Deref(const VARIANT& v) {
    return V_VT(&v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(&v) ? *V_VARIANTREF(&v) : v;
}

std::wstring Text(const VARIANT& v) {
    const VARIANT& d = Deref(v);
    if (V_VT(&d) != VT_BSTR || !V_BSTR(&d)) return {};
    return std::wstring(V_BSTR(&d), SysStringLen(V_BSTR(&d)));
}

// COM's identity rule: two interfaces are of one object when their IUnknowns are equal.
bool SameObject(IUnknown* a, IUnknown* b) {
    if (!a || !b) return false;
    IUnknown* ua = nullptr;
    IUnknown* ub = nullptr;
    a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ua));
    b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ub));
    const bool same = ua && ua == ub;
    Release(ua);
    Release(ub);
    return same;
}

}  // namespace

struct BrowserControl::Objects {
    IOleObject* object = nullptr;
    IWebBrowser2* browser = nullptr;
    IOleInPlaceObject* inPlace = nullptr;
    IConnectionPoint* events = nullptr;
    DWORD eventsCookie = 0;
};

// The control's notifications (DWebBrowserEvents2), of which only a failed navigation matters.
// Reference counted, so it may outlive its owner by a notification under way: Detach cuts it off.
class BrowserEvents final : public ComRefCounted<IDispatch> {
  public:
    explicit BrowserEvents(BrowserControl* owner) : owner_(owner) {}
    void Detach() { owner_ = nullptr; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
            !IsEqualIID(riid, DIID_DWebBrowserEvents2))
            return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }

    // IDispatch: the control calls Invoke by number; no type information is needed.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        // NavigateError(pDisp, URL, TargetFrameName, StatusCode, Cancel), the last one first.
        if (id != DISPID_NAVIGATEERROR || !owner_ || !params || params->cArgs != 5) return S_OK;
        const VARIANT* args = params->rgvarg;
        const VARIANT& from = Deref(args[4]);
        // A frame inside the page (an ad's) reports its own failures as another browser object.
        const bool wholePage =
            V_VT(&from) == VT_DISPATCH && SameObject(V_DISPATCH(&from), owner_->objects_->browser);
        if (owner_->NavigateError(wholePage, Text(args[3])) &&
            V_VT(&args[0]) == (VT_BOOL | VT_BYREF) && V_BOOLREF(&args[0]))
            *V_BOOLREF(&args[0]) = VARIANT_TRUE;
        return S_OK;
    }

  private:
    ~BrowserEvents() override = default;
    BrowserControl* owner_;
};

// The container side of the control: client site, in-place site and frame, and the host UI
// handler that turns scroll bars and the border off. Everything else is declined.
class BrowserSite final
    : public ComRefCounted<IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame, IDocHostUIHandler> {
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
    ~BrowserSite() override = default;
    HWND host_;
};

BrowserControl::BrowserControl(HWND host)
    : host_(host),
      site_(new BrowserSite(host)),
      events_(new BrowserEvents(this)),
      objects_(std::make_unique<Objects>()) {}

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
    // Without the notifications the control still shows pages, only its own error page too.
    IConnectionPointContainer* points = nullptr;
    if (SUCCEEDED(o.browser->QueryInterface(IID_IConnectionPointContainer,
                                            reinterpret_cast<void**>(&points)))) {
        if (SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &o.events)) &&
            FAILED(o.events->Advise(static_cast<IDispatch*>(control->events_), &o.eventsCookie)))
            Release(o.events);
        points->Release();
    }
    control->Fit();
    return control;
}

BrowserControl::~BrowserControl() {
    Objects& o = *objects_;
    if (o.events) o.events->Unadvise(o.eventsCookie);
    Release(o.events);
    events_->Detach();
    events_->Release();
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

bool BrowserControl::NavigateError(bool wholePage, const std::wstring& address) {
    if (!wholePage || !navigateFailed) return false;
    navigateFailed(address);
    // The control's error page is English; the owner shows one of its own.
    return true;
}

void BrowserControl::Fit() {
    RECT rect;
    GetClientRect(host_, &rect);
    if (objects_->inPlace) objects_->inPlace->SetObjectRects(&rect, &rect);
}

}  // namespace velmora::app::win32
