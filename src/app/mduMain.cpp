#include "app/mduMain.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace velmora::app {

namespace {
std::string& UnitIdStorage() {
    static std::string id;
    return id;
}
}  // namespace

const std::string& UnitId() {
    return UnitIdStorage();
}

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

double LeadingNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    // strtod would also take hex, "inf" and "nan"; only a plain decimal number counts here.
    std::size_t j = i;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    std::size_t digits = 0;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j, ++digits;
    if (j < text.size() && text[j] == '.') {
        ++j;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j, ++digits;
    }
    if (digits == 0) return 0.0;
    if (j < text.size() && (text[j] == 'e' || text[j] == 'E')) {
        std::size_t k = j + 1;
        if (k < text.size() && (text[k] == '+' || text[k] == '-')) ++k;
        if (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k]))) {
            while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k]))) ++k;
            j = k;
        }
    }
    return std::strtod(text.substr(i, j - i).c_str(), nullptr);
}

bool IsUpdateDue(const std::string& answer) {
    return !answer.empty() && LeadingNumber(kProgramVersion) < LeadingNumber(answer);
}

StartOutcome Main(const std::string& argumentText, const std::filesystem::path& programFolder,
                  IUpdateServices& update, IStartupShell& shell, std::string* error) {
    UnitIdStorage() = update.GetUnitId();
    const StartMode mode = ModeOf(argumentText);
    if (mode == StartMode::Version) {
        return WriteVersionFile(programFolder, error) ? StartOutcome::VersionWritten
                                                      : StartOutcome::VersionFailed;
    }

    update.CleanUpdateFiles();
    if (IsUpdateDue(update.GetLatestVersion(UnitId()))) {
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

}  // namespace velmora::app
