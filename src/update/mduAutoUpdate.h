#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "update/UpdateConfig.h"
#include "update/UpdateEntry.h"

// Version check and update: asks the vendor's update server for the current version, downloads
// a newer one into the program folder's "dl_files" and installs it with a script that runs after
// this process has ended.
namespace velmora::update::mduAutoUpdate {

// Text between the first openMarker and the first closeMarker after it; rest becomes what follows
// the close marker. With either marker missing: empty, rest untouched. text may alias rest.
std::u16string ExtractBetween(std::u16string_view text, std::u16string_view openMarker,
                              std::u16string_view closeMarker, std::u16string& rest);

// The leading decimal number of text (leading blanks skipped); 0 when there is none.
double LeadingNumber(std::string_view text);

// Whether the server's answer announces a version strictly newer than mine; never for an empty
// answer.
bool IsNewerVersion(const std::string& mine, const std::string& answer);

// Seconds since midnight as single precision with up to 7 significant digits ("32707.45").
std::string CounterText(double secondsSinceMidnight);

// "/version.php?id=" + unitId + "&counter=" + counter, after the base URL.
std::string VersionQueryUrl(const std::string& baseUrl, const std::string& unitId,
                            double secondsSinceMidnight);

// The announced version, or empty when the server is unreachable, answers another status than
// 200, or the answer lacks the markers. Never throws.
std::u16string GetLatestVersion(platform::Platform& pf, const std::string& baseUrl,
                                const std::string& unitId);

// The elements "<url>...</url>" of a file list body, up to the first empty one.
std::vector<std::u16string> ParseFileList(std::u16string_view body);

// The server's file list (empty unless status 200). A transport failure throws HttpError.
std::vector<std::u16string> GetUpdateFileList(platform::Platform& pf, const std::string& baseUrl);

// Removes dl_files (with any folders inside it) and the update script. Ignores every failure;
// a symbolic link, dl_files itself or one inside it, is unlinked, never followed.
void CleanUpdateFiles(const std::filesystem::path& programFolder);

// Downloads every usable entry whole through http into dl_files and installs them through
// WriteUpdateScript, which ends the process. Entries whose name or URL is unusable are skipped.
// Returns (after cleaning up, with no installed file touched) when there is nothing usable to
// install, when any file is not obtained intact (transport failure, status other than 200, too
// large, SHA-256 mismatch, not writable), or when the script cannot be written or started: the
// caller then goes on as if there were no update.
void DownloadUpdate(platform::Platform& pf, platform::IHttp& http, const UpdateConfig& config,
                    const std::vector<std::u16string>& fileList);

// Writes the update script for the entries into the program folder, starts it detached, lets the
// event loop run once and ends the process. Returns only when the script could not be written or
// started.
void WriteUpdateScript(platform::Platform& pf, const std::vector<UpdateEntry>& entries);

}  // namespace velmora::update::mduAutoUpdate
