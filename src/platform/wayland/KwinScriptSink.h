#pragma once

#include <QObject>
#include <QString>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace velmora::platform::wayland {

// The D-Bus object KWin scripts report to. Lives on a thread of its own; the reports it takes
// wait, by their script's token, for the caller that ran the script.
class KwinScriptSink : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.velmora.KwinScriptSink")
  public:
    // More unclaimed reports than a stray script could make are dropped.
    static constexpr std::size_t kMaxPending = 64;
    // A report longer than any window list is dropped (the caller's wait then ends unanswered).
    static constexpr qsizetype kMaxReportChars = 8 << 20;

    // The report for token, waiting (bounded) for it; after an empty wait it is still expected.
    std::optional<std::string> Take(const std::string& token, int timeoutMs);
    // A token the caller will wait for; others' reports are dropped.
    void Expect(const std::string& token);
    void Forget(const std::string& token);

  public Q_SLOTS:
    Q_SCRIPTABLE void Report(const QString& token, const QString& json);

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::map<std::string, std::optional<std::string>> pending_;
};

}  // namespace velmora::platform::wayland
