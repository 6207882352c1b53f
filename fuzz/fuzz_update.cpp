// The update server's answers: the version marker, the file list, each entry with the name
// filter, and the version comparison.
// Checks: ExtractBetween returns what lies between the markers and the rest after them; the file
// list items come from the body, in order, none empty; an accepted entry's name resolves inside
// the download folder (one plain path component, not the script or the folder itself) and its
// URL is http(s) without blanks; the version comparison is a strict order.

#include <cctype>
#include <filesystem>

#include "FuzzCheck.h"
#include "platform/posix/IconvCodePage.h"
#include "update/UpdateScript.h"
#include "update/mduAutoUpdate.h"

namespace {

using namespace velmora;
namespace au = update::mduAutoUpdate;
namespace fs = std::filesystem;

void CheckEntry(const platform::ICodePage& cp, std::u16string_view line) {
    const auto e = update::ParseUpdateEntry(cp, line);
    if (!e) return;
    FUZZ_CHECK(update::IsPlainFileName(cp.FromUtf8(e->name)));
    const fs::path folder = "/opt/velmora/dl_files";
    const fs::path target = (folder / fs::path(e->name)).lexically_normal();
    FUZZ_CHECK(target.parent_path() == folder);
    FUZZ_CHECK(target.filename() == fs::path(e->name));
    FUZZ_CHECK(e->name != "." && e->name != ".." && !e->name.empty());
    FUZZ_CHECK(e->name.find_first_of("/\\:\"'$`*?<>|\r\n\t") == std::string::npos);
    FUZZ_CHECK(e->name != update::kUpdateScriptName && e->name != update::kDownloadFolderName);
    std::string scheme = e->url.substr(0, 8);
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    FUZZ_CHECK((scheme.starts_with("http://") && e->url.size() > 7) ||
               (scheme == "https://" && e->url.size() > 8));
    for (unsigned char c : e->url) FUZZ_CHECK(c > 0x20 && c != 0x7F);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const platform::posix::IconvCodePage cp;
    const std::string_view bytes = fuzz::Bytes(data, size);
    const std::u16string body = cp.FromUtf8(bytes);

    // The version answer.
    std::u16string rest = u"untouched";
    const std::u16string version = au::ExtractBetween(body, u"<version>", u"</version>", rest);
    const std::size_t open = body.find(u"<version>");
    const std::size_t close = open == body.npos ? body.npos : body.find(u"</version>", open + 9);
    if (close == body.npos) {
        FUZZ_CHECK(version.empty() && rest == u"untouched");
    } else {
        FUZZ_CHECK(version == body.substr(open + 9, close - open - 9));
        FUZZ_CHECK(rest == body.substr(close + 10));
    }
    // Aliasing text and rest, as the file list does.
    std::u16string self = body;
    const std::u16string first = au::ExtractBetween(self, u"<url>", u"</url>", self);

    // The file list and every entry in it.
    const std::vector<std::u16string> list = au::ParseFileList(body);
    FUZZ_CHECK(list.empty() || list.front() == first);
    std::size_t from = 0;
    for (const auto& item : list) {
        FUZZ_CHECK(!item.empty());
        FUZZ_CHECK(item.find(u"</url>") == std::u16string::npos);
        const std::size_t at = body.find(u"<url>" + item + u"</url>", from);
        FUZZ_CHECK(at != body.npos);
        from = at + item.size() + 11;
        CheckEntry(cp, item);
    }
    // Lines of the body as entries too, so the filter sees names the markers would hide.
    for (const auto& line : fuzz::SplitAt<char16_t>(body, u"\n")) CheckEntry(cp, line);

    // Version comparison: irreflexive and asymmetric; never newer for an empty answer.
    const std::size_t cut = bytes.find('\n');
    const std::string a(bytes.substr(0, cut));
    const std::string b(cut == bytes.npos ? std::string_view{} : bytes.substr(cut + 1));
    FUZZ_CHECK(!au::IsNewerVersion(a, a));
    FUZZ_CHECK(!(au::IsNewerVersion(a, b) && au::IsNewerVersion(b, a)));
    FUZZ_CHECK(!au::IsNewerVersion(a, ""));
    if (!a.empty() && !b.empty() && au::LeadingNumber(a) != au::LeadingNumber(b))
        FUZZ_CHECK(au::IsNewerVersion(a, b) != au::IsNewerVersion(b, a));
    return 0;
}
