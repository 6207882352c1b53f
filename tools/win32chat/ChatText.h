#pragma once

#include <string>
#include <vector>

namespace win32chat {

// The history lines of one message, each ending in CR LF: the speaker line "Name 12:34:56",
// then each line of the text indented by four spaces. Text lines split at CR LF, LF and CR.
std::wstring MessageBlock(const std::wstring& name, int hour, int minute, int second,
                          const std::wstring& text);

// One line of the sent-messages log: the text in UTF-8 with line breaks as \n (a CR LF pair
// is one break) and backslashes doubled, then LF.
std::string LogLine(const std::wstring& text);

// The peer's replies from a file's bytes (UTF-8): one a line; blank lines and lines starting
// with # are skipped; \n, \t and \\ stand for a line break, a tab and a backslash.
std::vector<std::wstring> ParseReplies(const std::string& bytes);

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace win32chat
