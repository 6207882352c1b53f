#pragma once

#include <filesystem>
#include <string>

namespace velmora::platform {

class IProcess {
  public:
    virtual ~IProcess() = default;
    // Folder of the running executable (not the working directory).
    virtual std::filesystem::path ProgramFolder() = 0;
    // File name of the running executable ("velmora").
    virtual std::string ExecutableName() = 0;
    // Start a shell script detached, hidden, without waiting. False when it could not start.
    virtual bool StartDetachedScript(const std::filesystem::path& script) = 0;
    // End the process at once.
    [[noreturn]] virtual void ExitNow(int code) = 0;
};

// The machine's processor identifier text, empty when unavailable.
class IProcessorId {
  public:
    virtual ~IProcessorId() = default;
    virtual std::string ProcessorId() = 0;
};

// The program's one message box (the registry path format message).
class IMessageBox {
  public:
    virtual ~IMessageBox() = default;
    virtual void Show(const std::u16string& text) = 0;
};

}  // namespace velmora::platform
