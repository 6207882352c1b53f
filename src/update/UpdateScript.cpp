#include "update/UpdateScript.h"

namespace velmora::update {

std::string ShellQuote(std::string_view word) {
    std::string out = "'";
    for (char c : word) {
        if (c == '\'')
            out += "'\\''";
        else
            out.push_back(c);
    }
    out.push_back('\'');
    return out;
}

std::string StagingName(std::string_view name) {
    return "." + std::string(name) + ".update-new";
}

std::string UpdateScriptText(const std::string& programFolder, const std::string& executableName,
                             const std::vector<std::string>& names) {
    const std::string dir = programFolder;
    const std::string dl = dir + "/" + kDownloadFolderName;
    auto in = [](const std::string& folder, const std::string& name) {
        return ShellQuote(folder + "/" + name);
    };

    std::string s;
    s += "#!/bin/sh\n";
    s += "# Velmora update: installs the files of dl_files, then starts the program again.\n";
    s += "# $1 is the process that wrote this script; nothing is replaced while it runs.\n";
    s += "if [ -n \"${1:-}\" ]; then\n";
    s += "  n=0\n";
    // A zombie still answers kill -0, so its state is checked as well.
    s += "  while kill -0 \"$1\" 2>/dev/null && "
         "! grep -q '^State:[[:space:]]*Z' \"/proc/$1/status\" 2>/dev/null; do\n";
    s += "    n=$((n + 1))\n";
    s += "    if [ \"$n\" -gt 600 ]; then exit 1; fi\n";
    s += "    sleep 0.1 2>/dev/null || sleep 1\n";
    s += "  done\n";
    s += "fi\n";
    s += "ok=1\n";
    for (const auto& name : names)
        s += "cp -p -- " + in(dl, name) + " " + in(dir, StagingName(name)) + " || ok=0\n";
    s += "if [ \"$ok\" = 1 ]; then\n";
    for (const auto& name : names)
        s += "  mv -f -- " + in(dir, StagingName(name)) + " " + in(dir, name) + "\n";
    s += "else\n";
    s += "  rm -f --";
    for (const auto& name : names) s += " " + in(dir, StagingName(name));
    s += "\n";
    s += "fi\n";
    s += "exec " + in(dir, executableName) + "\n";
    return s;
}

std::u16string BatchQuote(std::u16string_view word) {
    std::u16string out = u"\"";
    for (char16_t c : word) {
        out.push_back(c);
        if (c == u'%') out.push_back(u'%');
    }
    out.push_back(u'"');
    return out;
}

std::u16string WindowsUpdateScriptText(std::u16string_view programFolder,
                                       std::u16string_view executableName,
                                       const std::vector<std::u16string>& names) {
    std::u16string dir(programFolder);
    while (dir.size() > 1 && (dir.back() == u'\\' || dir.back() == u'/')) dir.pop_back();
    auto widen = [](std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); };
    const std::u16string dl = dir + u"\\" + widen(kDownloadFolderName);
    auto in = [](const std::u16string& folder, std::u16string_view name) {
        return BatchQuote(folder + u"\\" + std::u16string(name));
    };
    // StagingName's temporary name, in UTF-16.
    auto staging = [](const std::u16string& name) { return u"." + name + u".update-new"; };

    std::u16string s;
    auto line = [&s](std::u16string_view text) {
        s += text;
        s += u"\r\n";
    };
    line(u"@echo off");
    line(u"rem Velmora update: installs the files of dl_files, then starts the program again.");
    line(u"rem %1 is the process that wrote this script; nothing is replaced while it runs.");
    line(u"setlocal EnableExtensions DisableDelayedExpansion");
    line(u"cd /d " + BatchQuote(dir));
    line(u"set \"pid=%~1\"");
    line(u"if \"%pid%\"==\"\" goto install");
    // Anything but digits is not a process id: change nothing.
    line(u"for /f \"delims=0123456789\" %%x in (\"%pid%\") do exit /b 1");
    line(u"set n=0");
    line(u":wait");
    line(u"set alive=");
    // tasklist where it filters (Windows); the full wmic list where tasklist lists nothing
    // (older Wine).
    line(
        u"for /f \"tokens=2 delims=,\" %%p in ('tasklist /FI \"PID eq %pid%\" /NH /FO CSV "
        u"2^>nul') do if \"%%~p\"==\"%pid%\" set alive=1");
    line(
        u"if not defined alive for /f \"skip=1\" %%p in ('wmic process get ProcessId 2^>nul') "
        u"do if \"%%p\"==\"%pid%\" set alive=1");
    line(u"if not defined alive goto install");
    line(u"set /a n+=1");
    line(u"if %n% GTR 60 exit /b 1");
    line(u"ping -n 2 127.0.0.1 >nul");
    line(u"goto wait");
    line(u":install");
    line(u"set ok=1");
    // errorlevel on a line of its own: Wine's cmd runs "||" after a copy that succeeded.
    for (const auto& name : names) {
        line(u"copy /b /y " + in(dl, name) + u" " + in(dir, staging(name)) + u" >nul 2>nul");
        line(u"if errorlevel 1 set ok=0");
    }
    line(u"if not \"%ok%\"==\"1\" goto discard");
    for (const auto& name : names)
        line(u"move /y " + in(dir, staging(name)) + u" " + in(dir, name) + u" >nul");
    line(u"goto start");
    line(u":discard");
    for (const auto& name : names) line(u"del /f /q " + in(dir, staging(name)) + u" 2>nul");
    line(u":start");
    line(u"rmdir /s /q " + BatchQuote(dl) + u" 2>nul");
    line(u"start \"\" " + in(dir, executableName));
    return s;
}

}  // namespace velmora::update
