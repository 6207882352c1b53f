#include "app/core/mduReg.h"

#include <array>
#include <utility>

#include "platform/Utf8.h"

namespace velmora::app::mduReg {

using platform::RootKey;

RootKey GetRootKey(std::u16string_view rootName) {
    static const std::array<std::pair<std::u16string_view, RootKey>, 7> kRoots = {{
        {u"HKEY_CLASSES_ROOT", RootKey::ClassesRoot},
        {u"HKEY_CURRENT_USER", RootKey::CurrentUser},
        {u"HKEY_LOCAL_MACHINE", RootKey::LocalMachine},
        {u"HKEY_USERS", RootKey::Users},
        {u"HKEY_PERFORMANCE_DATA", RootKey::PerformanceData},
        {u"HKEY_CURRENT_CONFIG", RootKey::CurrentConfig},
        {u"HKEY_DYN_DATA", RootKey::DynData},
    }};
    for (const auto& [name, root] : kRoots)
        if (name == rootName) return root;
    return RootKey::None;
}

KeyPath SplitKeyPath(platform::IMessageBox& messageBox, std::u16string_view keyPath) {
    if (keyPath.substr(0, 5) != u"HKEY_" || keyPath.back() == u'\\') {
        messageBox.Show(u"Incorrect Format:" + std::u16string(u"\n\n") + std::u16string(keyPath));
        return {};
    }
    std::size_t slash = keyPath.find(u'\\');
    if (slash == std::u16string_view::npos) return {GetRootKey(keyPath), {}};
    return {GetRootKey(keyPath.substr(0, slash)), std::u16string(keyPath.substr(slash + 1))};
}

std::u16string ReadRegString(platform::Platform& pf, std::u16string_view keyPath,
                             std::u16string_view valueName) {
    KeyPath k = SplitKeyPath(pf.messageBox, keyPath);
    if (k.root == RootKey::None) return {};
    auto stored =
        pf.keyStore.ReadValue(k.root, pf.codePage.ToAnsi(k.subkey), pf.codePage.ToAnsi(valueName));
    if (!stored || stored->size() > kReadBufferBytes) return std::u16string(kReadError);
    // The read fills a buffer of blanks from its start and leaves the rest as it was.
    std::string buffer(kReadBufferBytes, ' ');
    buffer.replace(0, stored->size(), *stored);
    std::u16string text = pf.codePage.FromAnsi(buffer);
    std::size_t first = text.find_first_not_of(u' ');
    if (first == std::u16string::npos) return {};
    std::size_t last = text.find_last_not_of(u' ');
    text = text.substr(first, last - first + 1);
    text.pop_back();
    return text;
}

void CreateRegKey(platform::Platform& pf, std::u16string_view keyPath) {
    KeyPath k = SplitKeyPath(pf.messageBox, keyPath);
    if (k.root == RootKey::None) return;
    pf.keyStore.CreateKey(k.root, pf.codePage.ToAnsi(k.subkey));
}

void WriteRegString(platform::Platform& pf, std::u16string_view keyPath,
                    std::u16string_view valueName, std::u16string_view text) {
    KeyPath k = SplitKeyPath(pf.messageBox, keyPath);
    if (k.root == RootKey::None) return;
    const std::string subkey = pf.codePage.ToAnsi(k.subkey);
    if (!pf.keyStore.KeyExists(k.root, subkey)) return;
    std::string bytes = pf.codePage.ToAnsi(text);
    bytes.resize(bytes.find('\0') == std::string::npos ? bytes.size() : bytes.find('\0'));
    pf.keyStore.WriteValue(k.root, subkey, pf.codePage.ToAnsi(valueName), bytes);
}

void WriteRegText(platform::Platform& pf, std::u16string_view keyPath,
                  std::u16string_view valueName, std::u16string_view text) {
    KeyPath k = SplitKeyPath(pf.messageBox, keyPath);
    if (k.root == RootKey::None) return;
    const std::string subkey = pf.codePage.ToAnsi(k.subkey);
    if (!pf.keyStore.KeyExists(k.root, subkey)) return;
    pf.keyStore.WriteValueUtf8(k.root, subkey, pf.codePage.ToAnsi(valueName),
                               platform::Utf8Encode(text.substr(0, text.find(u'\0'))));
}

}  // namespace velmora::app::mduReg
