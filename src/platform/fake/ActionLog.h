#pragma once

#include <string>
#include <vector>

namespace velmora::platform::fake {

// What the fakes did to the outside world, in order, so a test can compare exact sequences.
class ActionLog {
  public:
    void Add(std::string entry) { entries_.push_back(std::move(entry)); }
    const std::vector<std::string>& Entries() const { return entries_; }
    void Clear() { entries_.clear(); }

  private:
    std::vector<std::string> entries_;
};

}  // namespace velmora::platform::fake
