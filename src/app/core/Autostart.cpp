#include "app/core/Autostart.h"

#include <filesystem>

#include "app/core/mduReg.h"
#include "platform/Utf8.h"

namespace velmora::app {

std::u16string AutostartCommand(const std::u16string& programPath) {
    bool blank = programPath.find_first_of(u" \t") != std::u16string::npos;
    return (blank ? u"\"" + programPath + u"\"" : programPath) + u" -s";
}

void EnsureAutostart(platform::Platform& pf) {
    if (mduReg::ReadRegString(pf, kRunKeyPath, kAutostartValueName) != mduReg::kReadError) return;
    const std::filesystem::path program = pf.process.ProgramFolder() / pf.process.ExecutableName();
    mduReg::CreateRegKey(pf, kRunKeyPath);
    // The path goes to the store as UTF-8: the ANSI code page cannot spell every folder name.
    mduReg::WriteRegText(pf, kRunKeyPath, kAutostartValueName,
                         AutostartCommand(platform::Utf8Decode(program.string())));
}

}  // namespace velmora::app
