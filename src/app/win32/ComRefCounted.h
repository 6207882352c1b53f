#pragma once

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

#include <objbase.h>

namespace velmora::app::win32 {

// The reference count of a COM object that implements the given interfaces: it starts at one,
// for its maker, and the object deletes itself on its last Release. QueryInterface stays the
// object's own.
template <class... Interfaces>
class ComRefCounted : public Interfaces... {
  public:
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

  protected:
    ComRefCounted() = default;
    virtual ~ComRefCounted() = default;

  private:
    ULONG refs_ = 1;
};

}  // namespace velmora::app::win32
