#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "update/IUpdateServices.h"

namespace velmora::app {

inline constexpr const char* kProgramVersion = "20090923";

enum class StartMode { Version, Hidden, Normal };

// The command line after the program path, as one text: arguments joined by single blanks.
std::string JoinArguments(int argc, const char* const* argv);
// Exact, case-sensitive comparison of the whole argument text.
StartMode ModeOf(const std::string& argumentText);

// Writes "<version>20090923</version>" CR LF into folder/version.php, replacing any old file.
bool WriteVersionFile(const std::filesystem::path& folder, std::string* error);

// A package manager owns the installed files when the install rules left their marker at
// <prefix>/share/velmora/package-managed beside <prefix>/bin: then the program never updates
// itself.
bool IsPackageManaged(const std::filesystem::path& programFolder);

// Strictly newer than this build, and not empty.
bool IsUpdateDue(const std::u16string& answer);

// The windows start-up creates, so the sequence can run without a display in tests.
class IStartupShell {
  public:
    virtual ~IStartupShell() = default;
    virtual void ShowUpdateWindow() = 0;
    virtual void CloseUpdateWindow() = 0;
    virtual void Yield() = 0;
    virtual void CreateMainWindow() = 0;  // runs its load handler, does not show it
    virtual void ShowMainWindow() = 0;
    virtual void CloseMainWindowFromCode() = 0;
};

enum class StartOutcome { VersionWritten, VersionFailed, Running };

// The start-up sequence, after the unit id was computed. Returns Running when the main window
// exists (shown or in the tray).
StartOutcome Main(const std::string& argumentText, const std::filesystem::path& programFolder,
                  const std::string& unitId, update::IUpdateServices& update, IStartupShell& shell,
                  std::string* error = nullptr);

// The version mode on its own: no window, no network, only the unit id and the file. Returns
// the process's exit status; a failure is said through report.
int WriteVersionOnly(const std::string& argumentText, const std::filesystem::path& programFolder,
                     const std::string& unitId,
                     const std::function<void(const std::string&)>& report);

}  // namespace velmora::app
