#include "platform/win32/WmiProcessorId.h"

#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>
#include <windows.h>

#include "platform/Utf8.h"

namespace velmora::platform::win32 {

namespace {

// Owns one reference of a COM interface.
template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() {
        if (p_) p_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T** out() { return &p_; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }

  private:
    T* p_ = nullptr;
};

class Bstr {
  public:
    explicit Bstr(const wchar_t* s) : b_(SysAllocString(s)) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }
    explicit operator bool() const { return b_ != nullptr; }

  private:
    BSTR b_;
};

class Variant {
  public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &v_; }

  private:
    VARIANT v_;
};

// COM for this thread for the duration of one query; a thread that already has COM (in either
// apartment) keeps it as it is.
class ComScope {
  public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

  private:
    HRESULT hr_;
};

constexpr long kRowTimeoutMs = 10'000;

}  // namespace

std::string WmiProcessorId::ProcessorId() {
    ComScope com;
    if (!com.usable()) return {};
    ComPtr<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(locator.out()))))
        return {};
    Bstr ns(L"ROOT\\CIMV2"), language(L"WQL"), query(L"SELECT ProcessorId FROM Win32_Processor");
    if (!ns || !language || !query) return {};
    ComPtr<IWbemServices> services;
    if (FAILED(locator->ConnectServer(ns.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                      services.out())))
        return {};
    // The proxy acts as the user without asking the process-wide security settings to change.
    CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    ComPtr<IEnumWbemClassObject> rows;
    if (FAILED(services->ExecQuery(language.get(), query.get(),
                                   WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                   rows.out())))
        return {};
    ComPtr<IWbemClassObject> row;
    ULONG got = 0;
    if (rows->Next(kRowTimeoutMs, 1, row.out(), &got) != WBEM_S_NO_ERROR || got != 1) return {};
    Variant value;
    if (FAILED(row->Get(L"ProcessorId", 0, value.get(), nullptr, nullptr))) return {};
    if (value.get()->vt != VT_BSTR || value.get()->bstrVal == nullptr) return {};
    const BSTR text = value.get()->bstrVal;
    return Utf8Encode(
        std::u16string_view(reinterpret_cast<const char16_t*>(text), SysStringLen(text)));
}

}  // namespace velmora::platform::win32
