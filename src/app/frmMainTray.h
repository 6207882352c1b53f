#pragma once

#include <QEvent>
#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <string>

#include "app/core/IMainWindow.h"

namespace velmora::app {

// The main window's tray icon, made on its first add.
class QtTrayIcon final : public ITrayIcon {
  public:
    // clicked(true) for a left click, clicked(false) for a right one.
    QtTrayIcon(QObject& owner, QIcon icon, std::function<void(bool leftButton)> clicked)
        : owner_(owner), icon_(std::move(icon)), clicked_(std::move(clicked)) {}
    bool Available() override { return QSystemTrayIcon::isSystemTrayAvailable(); }
    bool Shown() override { return tray_ && tray_->isVisible(); }
    void Add() override;
    void Remove() override;
    void Message(const std::u16string& title, const std::u16string& text) override;

    // For the application's event filter: true when the event was the tray widget's and is
    // used up.
    bool Filter(QObject* watched, QEvent* event);

  private:
    QObject& owner_;
    QIcon icon_;
    std::function<void(bool)> clicked_;
    QSystemTrayIcon* tray_ = nullptr;
    bool trayWidgetSeen_ = false;
};

}  // namespace velmora::app
