#include "platform/wayland/KwinScriptSink.h"

#include <chrono>

namespace velmora::platform::wayland {

void KwinScriptSink::Expect(const std::string& token) {
    std::lock_guard lock(mutex_);
    if (pending_.size() < kMaxPending) pending_[token];
}

void KwinScriptSink::Forget(const std::string& token) {
    std::lock_guard lock(mutex_);
    pending_.erase(token);
}

void KwinScriptSink::Report(const QString& token, const QString& json) {
    if (json.size() > kMaxReportChars) return;
    {
        std::lock_guard lock(mutex_);
        const auto it = pending_.find(token.toStdString());
        if (it == pending_.end() || it->second) return;
        it->second = json.toStdString();
    }
    arrived_.notify_all();
}

std::optional<std::string> KwinScriptSink::Take(const std::string& token, int timeoutMs) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        const auto it = pending_.find(token);
        return it == pending_.end() || it->second.has_value();
    });
    // An empty wait keeps the token: a report may still come in a later one.
    const auto it = pending_.find(token);
    if (it == pending_.end() || !it->second) return std::nullopt;
    std::optional<std::string> got = std::move(it->second);
    pending_.erase(it);
    return got;
}

}  // namespace velmora::platform::wayland
