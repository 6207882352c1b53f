#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora::update {

inline constexpr char kUpdateScriptName[] = "update.sh";
inline constexpr char kDownloadFolderName[] = "dl_files";
// The Windows build's script: never a download's name either, so one release serves both.
inline constexpr char kWindowsUpdateScriptName[] = "update.bat";

// The word in single quotes, safe for any byte string in POSIX sh.
std::string ShellQuote(std::string_view word);

// The temporary name a file is copied to beside its target before the rename.
std::string StagingName(std::string_view name);

// The update script (POSIX sh, LF line ends). Run as `sh update.sh PID`, it waits until process
// PID has ended (60 s at most; otherwise it gives up and changes nothing), copies every file from
// the download folder to a temporary name beside its target, and only when every copy succeeded
// renames each over its target; then it starts programFolder/executableName. All paths UTF-8.
std::string UpdateScriptText(const std::string& programFolder, const std::string& executableName,
                             const std::vector<std::string>& names);

// The word in double quotes for a cmd batch file: '%' doubled, since cmd expands it even inside
// quotes. Windows paths never hold '"'.
std::u16string BatchQuote(std::u16string_view word);

// The Windows update script (cmd batch, CR LF line ends). Run as `update.bat PID`, it waits until
// process PID has ended (about 60 s at most; otherwise it gives up and changes nothing), copies
// every file from the download folder to a temporary name beside its target, and only when every
// copy succeeded moves each over its target; then it removes the download folder and starts
// programFolder\executableName. UTF-16, so that the caller, which writes the file, converts it
// to the ANSI code page cmd reads batch files in and can refuse a path that code page cannot
// spell.
std::u16string WindowsUpdateScriptText(std::u16string_view programFolder,
                                       std::u16string_view executableName,
                                       const std::vector<std::u16string>& names);

}  // namespace velmora::update
