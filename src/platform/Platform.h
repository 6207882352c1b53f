#pragma once

#include "platform/IAccessibility.h"
#include "platform/IClipboard.h"
#include "platform/IClock.h"
#include "platform/ICodePage.h"
#include "platform/IEventLoop.h"
#include "platform/IHttp.h"
#include "platform/IInput.h"
#include "platform/IKeyStore.h"
#include "platform/IProcess.h"
#include "platform/IRegex.h"
#include "platform/IWindows.h"

namespace velmora::platform {

// Every operating-system service the logic may use, built once at start-up (or from fakes in
// tests). The logic holds references only; start-up owns the backends.
struct Platform {
    IInput& input;
    IWindows& windows;
    IClipboard& clipboard;
    IScreen& screen;
    IHttp& http;
    IRegexEngine& regex;
    ICodePage& codePage;
    IClock& clock;
    IEventLoop& loop;
    IKeyStore& keyStore;
    IProcessorId& processorId;
    IProcess& process;
    IMessageBox& messageBox;
    IAccessibility& accessibility;
};

// The bundle over a set of backends whose members carry the ports' names.
template <typename Set>
Platform BundleOf(Set& s, IAccessibility& accessibility) {
    return Platform{.input = s.input,
                    .windows = s.windows,
                    .clipboard = s.clipboard,
                    .screen = s.screen,
                    .http = s.http,
                    .regex = s.regex,
                    .codePage = s.codePage,
                    .clock = s.clock,
                    .loop = s.loop,
                    .keyStore = s.keyStore,
                    .processorId = s.processorId,
                    .process = s.process,
                    .messageBox = s.messageBox,
                    .accessibility = accessibility};
}

}  // namespace velmora::platform
