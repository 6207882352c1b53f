#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "translate/engines/IEngine.h"

namespace velmora::translate::engines::testing {

// An engine whose answers are scripted: each call takes the next result from the queue (the
// last one repeats once the queue is down to one). Records every piece it was given.
class FakeEngine : public IEngine {
  public:
    explicit FakeEngine(std::string name, bool supports = true)
        : name_(std::move(name)), supports_(supports) {}
    std::string_view Name() const override { return name_; }
    bool Supports(const std::string&, const std::string&) override { return supports_; }
    PieceResult TranslatePiece(std::u16string_view piece, const std::string&,
                               const std::string&) override {
        pieces.emplace_back(piece);
        if (onCall) onCall();
        if (results.empty()) return PieceResult::Ok(u"<" + std::u16string(piece) + u">");
        PieceResult r = results.front();
        if (results.size() > 1) results.pop_front();
        return r;
    }
    std::deque<PieceResult> results;
    std::vector<std::u16string> pieces;
    std::function<void()> onCall;  // runs at each call: lets a test spend time

  private:
    std::string name_;
    bool supports_;
};

}  // namespace velmora::translate::engines::testing
