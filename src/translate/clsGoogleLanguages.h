#pragma once

#include <string>
#include <vector>

namespace velmora::translate {

struct LanguageEntry {
    std::string key;      // code as sent to the endpoint ("zh-CN", "en", ...)
    std::u16string desc;  // Chinese description shown in the lists
};

// The fixed table of offered languages, in display order (English stands twice on purpose).
class clsGoogleLanguages {
  public:
    clsGoogleLanguages();

    // The one instance of the process, created on first use.
    static const clsGoogleLanguages& Shared();

    // Every description in table order; a fresh copy per call.
    std::vector<std::u16string> getAllDescs() const;
    // The key of the last entry whose description equals desc exactly; empty when none does.
    std::string getKeyByDesc(const std::u16string& desc) const;
    int count() const { return static_cast<int>(entries_.size()); }
    const std::vector<LanguageEntry>& entries() const { return entries_; }

  private:
    void addLanguage(std::string key, std::u16string desc);
    std::vector<LanguageEntry> entries_;
};

}  // namespace velmora::translate
