#include "app/core/mduMain.h"

#include "update/mduAutoUpdate.h"

#include <fstream>
#include <system_error>

namespace velmora::app {

std::string JoinArguments(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}

StartMode ModeOf(const std::string& argumentText) {
    if (argumentText == "-version") return StartMode::Version;
    if (argumentText == "-s") return StartMode::Hidden;
    return StartMode::Normal;
}

bool WriteVersionFile(const std::filesystem::path& folder, std::string* error) {
    const std::filesystem::path target = folder / "version.php";
    const std::filesystem::path temp = folder / "version.php.tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << "<version>" << kProgramVersion << "</version>\r\n";
        out.flush();
        if (!out) {
            if (error) *error = "cannot write " + temp.string();
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        if (error) *error = "cannot replace " + target.string() + ": " + ec.message();
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

bool IsPackageManaged(const std::filesystem::path& programFolder) {
    std::error_code ec;
    return std::filesystem::exists(programFolder / ".." / "share" / "velmora" / "package-managed",
                                   ec);
}

bool IsUpdateDue(const std::u16string& answer) {
    // A version is digits and dots; anything wider cannot name a newer one.
    std::string narrow;
    narrow.reserve(answer.size());
    for (char16_t c : answer) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return update::mduAutoUpdate::IsNewerVersion(kProgramVersion, narrow);
}

StartOutcome Main(const std::string& argumentText, const std::filesystem::path& programFolder,
                  const std::string& unitId, update::IUpdateServices& update, IStartupShell& shell,
                  std::string* error) {
    const StartMode mode = ModeOf(argumentText);
    if (mode == StartMode::Version) {
        return WriteVersionFile(programFolder, error) ? StartOutcome::VersionWritten
                                                      : StartOutcome::VersionFailed;
    }

    // Installed by a package: no clean-up, no check, no download; the heartbeat still queries.
    const bool selfUpdating = !IsPackageManaged(programFolder);
    if (selfUpdating) update.CleanUpdateFiles();
    if (selfUpdating && IsUpdateDue(update.GetLatestVersion(unitId))) {
        shell.ShowUpdateWindow();
        shell.Yield();
        try {
            update.DownloadUpdate(update.GetUpdateFileList());
        } catch (...) {
            // A failed list fetch is no reason to stay down: carry on with this version.
        }
        // Still here: the update gave up and left the installed files alone.
        shell.CloseUpdateWindow();
    }

    shell.CreateMainWindow();
    if (mode == StartMode::Hidden) {
        shell.CloseMainWindowFromCode();
    } else {
        shell.ShowMainWindow();
    }
    return StartOutcome::Running;
}

int WriteVersionOnly(const std::string& argumentText, const std::filesystem::path& programFolder,
                     const std::string& unitId,
                     const std::function<void(const std::string&)>& report) {
    struct NoWindows : IStartupShell {
        void ShowUpdateWindow() override {}
        void CloseUpdateWindow() override {}
        void Yield() override {}
        void CreateMainWindow() override {}
        void ShowMainWindow() override {}
        void CloseMainWindowFromCode() override {}
    } none;
    update::NullUpdateServices noUpdate;
    std::string error;
    if (Main(argumentText, programFolder, unitId, noUpdate, none, &error) !=
        StartOutcome::VersionFailed)
        return 0;
    report(error);
    return 1;
}

}  // namespace velmora::app
