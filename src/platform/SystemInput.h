#pragma once

#include <memory>

#include "platform/IInput.h"

namespace velmora::platform {

// Synthetic input through the system: one event per call, delivered at once. One class,
// defined by each system's backend with its own state (only one is linked into a program).
class SystemInput : public IInput {
  public:
    // The system's own, defined with its backend.
    struct State;

    explicit SystemInput(std::unique_ptr<State> state);
    ~SystemInput() override;
    SystemInput(const SystemInput&) = delete;
    SystemInput& operator=(const SystemInput&) = delete;

    void MoveCursor(std::int32_t x, std::int32_t y) override;
    Point CursorPos() override;
    void LeftDown() override;
    void LeftUp() override;
    void KeyDown(std::uint8_t vk) override;
    void KeyUp(std::uint8_t vk) override;
    bool AnyKeyDown() override;
    bool IsKeyDown(std::uint8_t vk) override;
    bool AnyButtonDown() override;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace velmora::platform
