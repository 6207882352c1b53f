#include "ChatText.h"

#include <windows.h>

#include <cstdio>

namespace win32chat {

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                            nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::wstring MessageBlock(const std::wstring& name, int hour, int minute, int second,
                          const std::wstring& text) {
    wchar_t clock[16];
    std::swprintf(clock, 16, L" %02d:%02d:%02d", hour, minute, second);
    std::wstring out = name + clock + L"\r\n";
    std::wstring line;
    auto flush = [&] {
        out += L"    " + line + L"\r\n";
        line.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r') {
            if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
            flush();
        } else if (text[i] == L'\n') {
            flush();
        } else {
            line += text[i];
        }
    }
    flush();
    return out;
}

std::string LogLine(const std::wstring& text) {
    std::wstring escaped;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r') {
            if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
            escaped += L"\\n";
        } else if (text[i] == L'\n') {
            escaped += L"\\n";
        } else if (text[i] == L'\\') {
            escaped += L"\\\\";
        } else {
            escaped += text[i];
        }
    }
    return ToUtf8(escaped) + "\n";
}

std::vector<std::wstring> ParseReplies(const std::string& bytes) {
    std::string body = bytes;
    if (body.rfind("\xEF\xBB\xBF", 0) == 0) body.erase(0, 3);
    std::vector<std::wstring> out;
    std::size_t start = 0;
    while (start < body.size()) {
        std::size_t end = body.find('\n', start);
        if (end == std::string::npos) end = body.size();
        std::string line = body.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::string text;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                const char c = line[++i];
                text += c == 'n' ? '\n' : c == 't' ? '\t' : c;
            } else {
                text += line[i];
            }
        }
        out.push_back(FromUtf8(text));
    }
    return out;
}

}  // namespace win32chat
