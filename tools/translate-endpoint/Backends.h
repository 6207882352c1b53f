#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora::tools {

// All texts are UTF-8.

// "[sl>tl] text": what the test backend answers, so a test can predict every translation.
std::string TestTranslate(const std::string& text, const std::string& sl, const std::string& tl);

// True for the Chinese<->English pairs the glossary knows.
bool GlossaryHandles(const std::string& sl, const std::string& tl);
// A small table of chat phrases; words it does not know pass through marked with "*".
std::string GlossaryTranslate(const std::string& text, const std::string& sl,
                              const std::string& tl);

// Offline machine translation through the apertium command.
class Apertium {
  public:
    // Asks `apertium -l` which modes are installed; none when the command is missing.
    Apertium();
    // The mode ("eng-spa") for a pair of table codes, when installed.
    std::optional<std::string> ModeFor(const std::string& sl, const std::string& tl) const;
    // Runs `apertium -u MODE` on the text (unknown-word marks off); nullopt on failure or after
    // timeoutMs.
    std::optional<std::string> Translate(const std::string& mode, const std::string& text,
                                         int timeoutMs) const;
    const std::vector<std::string>& modes() const { return modes_; }

  private:
    std::vector<std::string> modes_;
};

// Runs argv with the input on stdin; the output, or nullopt on failure, non-zero exit or time-out.
std::optional<std::string> RunFilter(const std::vector<std::string>& argv, const std::string& input,
                                     int timeoutMs);

}  // namespace velmora::tools
