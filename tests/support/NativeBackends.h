#pragma once

// The platform's real regex engine, code page and processor id under one name each, for tests
// of the logic that want the real thing rather than a fake.
#ifdef _WIN32
#include "platform/win32/StdRegex.h"
#include "platform/win32/Win32CodePage.h"
#include "platform/win32/WmiProcessorId.h"
#else
#include "platform/posix/CpuidProcessorId.h"
#include "platform/posix/IconvCodePage.h"
#include "platform/posix/Pcre2Regex.h"
#endif

namespace velmora::native {

#ifdef _WIN32
using RegexEngine = platform::win32::StdRegexEngine;
using ProcessorId = platform::win32::WmiProcessorId;
// CP936, the ANSI page the logic's byte counts are written for, whatever the system's page is.
class CodePage : public platform::win32::Win32CodePage {
  public:
    CodePage() : Win32CodePage(936) {}
};
#else
using RegexEngine = platform::posix::Pcre2RegexEngine;
using ProcessorId = platform::posix::CpuidProcessorId;
using CodePage = platform::posix::IconvCodePage;
#endif

}  // namespace velmora::native
