#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ICodePage.h"
#include "update/Sha256.h"

namespace velmora::update {

// One usable line of the update's file list: "URL,NAME[,SHA256[,...]]".
struct UpdateEntry {
    std::string url;   // UTF-8
    std::string name;  // UTF-8, a plain file name inside the program folder
    std::optional<Sha256Digest> sha256;
};

// Splits at every comma, keeping empty fields ("a,,b" gives three fields).
std::vector<std::u16string> SplitFields(std::u16string_view entry);

// A name that lands in the program folder and nowhere else, on Linux and on Windows, and that is
// safe inside the update script: no separators or drive, no "..", no reserved device name, no
// trailing dot or blank, no quotes, shell or control characters; letters, digits, ". _ - +",
// inner blanks and CJK ideographs only. The script's own name and the download folder's are
// refused as well.
bool IsPlainFileName(std::u16string_view name);

// http:// or https:// followed by a host, with no blanks or control characters.
bool IsDownloadUrl(std::u16string_view url);

// The entry when it has a usable URL and name; a third field of 64 hex digits is its SHA-256,
// anything else there (and every later field) is ignored.
std::optional<UpdateEntry> ParseUpdateEntry(const platform::ICodePage& codePage,
                                            std::u16string_view entry);

}  // namespace velmora::update
