#pragma once

#include <memory>
#include <string>

#include "app/core/Backends.h"
#include "platform/IPipeline.h"

namespace velmora::app::win32 {

// Windows starts no child programs for translation (the offline engine needs Linux): every run
// reports that nothing could be started.
class NoProgramRunner : public platform::IProgramRunner {
  public:
    std::unique_ptr<platform::IPipeline> NewPipeline() override;
    platform::RunResult Run(const platform::Argv& argv, std::string_view input, int timeoutMs,
                            std::size_t maxBytes) override;
};

// The machine's processor id, without building the other backends.
std::string ProcessorIdAlone();

}  // namespace velmora::app::win32
