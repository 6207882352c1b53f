#include "app/core/Autostart.h"

#include <filesystem>

#include "app/core/mduReg.h"

namespace velmora::app {

std::u16string AutostartCommand(const std::u16string& programPath) {
    bool blank = programPath.find_first_of(u" \t") != std::u16string::npos;
    return (blank ? u"\"" + programPath + u"\"" : programPath) + u" -s";
}

void EnsureAutostart(platform::Platform& pf) {
    if (mduReg::ReadRegString(pf, kRunKeyPath, kAutostartValueName) != mduReg::kReadError) return;
    const std::filesystem::path program = pf.process.ProgramFolder() / pf.process.ExecutableName();
    mduReg::CreateRegKey(pf, kRunKeyPath);
    mduReg::WriteRegString(pf, kRunKeyPath, kAutostartValueName,
                           AutostartCommand(pf.codePage.FromUtf8(program.string())));
}

}  // namespace velmora::app
