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

}  // namespace velmora::update
