#pragma once

#include <windows.h>
// winbase.h names a Win16 call Yield, a macro that would eat IEventLoop::Yield.
#undef Yield

#include <cstddef>

#include "platform/SystemClipboard.h"

namespace velmora::platform::win32 {

// The image of a device-independent bitmap in memory (any depth or compression GDI reads);
// empty when the bytes do not hold a whole one. Every pixel comes out opaque.
Bitmap BitmapFromDib(const void* data, std::size_t size);

}  // namespace velmora::platform::win32
