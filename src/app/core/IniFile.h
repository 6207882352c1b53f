#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora::app {

// One key of an INI file as QSettings writes it.
struct IniEntry {
    std::string section;  // "General" for keys before any section
    std::string key;
    std::string value;  // quotes removed, escapes resolved
    int line = 0;       // 1-based
};

struct IniProblem {
    int line = 0;
    std::string what;  // never holds the line's text: it may carry a secret
};

struct IniFile {
    std::vector<IniEntry> entries;
    std::vector<IniProblem> problems;
};

// Parses INI text: [section] lines, key=value lines, ';' and '#' comments, blank lines,
// values optionally in double quotes with \" \\ \n \t escapes. A malformed line is reported
// and skipped; the rest is still read. Never throws.
IniFile ParseIni(std::string_view text);

// A value written so ParseIni (and QSettings) read it back unchanged.
std::string QuoteIniValue(std::string_view value);

}  // namespace velmora::app
