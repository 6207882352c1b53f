#include <cpuid.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <thread>

#include "platform/win32/WmiProcessorId.h"

namespace velmora::platform::win32 {
namespace {

// The management service formats the id from CPUID leaf 1, EDX then EAX.
TEST(WmiProcessorId, IsCpuidLeafOneAsTheServiceFormatsIt) {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    ASSERT_NE(__get_cpuid(1, &eax, &ebx, &ecx, &edx), 0);
    char expected[17];
    std::snprintf(expected, sizeof expected, "%08X%08X", edx, eax);
    WmiProcessorId id;
    const std::string first = id.ProcessorId();
    EXPECT_EQ(first, expected);
    EXPECT_EQ(id.ProcessorId(), first);
}

TEST(WmiProcessorId, WorksInAThreadThatAlreadyHasCom) {
    for (DWORD model : {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
        std::string got;
        std::thread([&] {
            HRESULT hr = CoInitializeEx(nullptr, model);
            got = WmiProcessorId().ProcessorId();
            // The thread's own COM is left as it was.
            APTTYPE type;
            APTTYPEQUALIFIER qualifier;
            EXPECT_EQ(CoGetApartmentType(&type, &qualifier), S_OK);
            EXPECT_EQ(type == APTTYPE_MTA, model == COINIT_MULTITHREADED);
            if (SUCCEEDED(hr)) CoUninitialize();
        }).join();
        EXPECT_EQ(got.size(), 16u) << model;
    }
}

}  // namespace
}  // namespace velmora::platform::win32
