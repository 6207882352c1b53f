#pragma once

#include <QSocketNotifier>
#include <functional>
#include <utility>

namespace velmora::platform::qt {

// Runs a callback from the Qt event loop (nested loops included) whenever a file descriptor
// becomes readable: how a backend's own connection, such as the global shortcut's X
// connection, is served without a thread.
class QtFdWatch {
  public:
    QtFdWatch(int fd, std::function<void()> onReadable)
        : notifier_(fd, QSocketNotifier::Read), onReadable_(std::move(onReadable)) {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { onReadable_(); });
    }
    QtFdWatch(const QtFdWatch&) = delete;
    QtFdWatch& operator=(const QtFdWatch&) = delete;

  private:
    QSocketNotifier notifier_;
    std::function<void()> onReadable_;
};

}  // namespace velmora::platform::qt
