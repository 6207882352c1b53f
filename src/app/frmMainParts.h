#pragma once

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <string>
#include <vector>

#include "app/QtControls.h"
#include "app/QtWebPane.h"
#include "app/core/IMainWindow.h"

// The main window's parts over its Qt controls; the window owns them and hands them out.
namespace velmora::app {

class QtSendBox final : public relay::ISendBox {
  public:
    explicit QtSendBox(SendTextBox& box) : box_(box) {}
    std::u16string Text() override;
    void Clear() override { box_.clear(); }
    void SetText(const std::u16string& text) override;
    void Focus() override;
    bool IsComposing() override { return box_.IsComposing(); }

  private:
    SendTextBox& box_;
};

class QtLanguageLists final : public relay::ILanguageLists {
  public:
    QtLanguageLists(QComboBox& mine, QComboBox& other) : mine_(mine), other_(other) {}
    std::u16string MyDesc() override { return mine_.currentText().toStdU16String(); }
    std::u16string OtherDesc() override { return other_.currentText().toStdU16String(); }
    void Fill(const std::vector<std::u16string>& descs) override;

  private:
    QComboBox& mine_;
    QComboBox& other_;
};

class QtTimeKeeper final : public relay::ITimeKeeper {
  public:
    explicit QtTimeKeeper(QLabel& label) : label_(label) {}
    void SetCaption(const std::u16string& caption) override {
        label_.setText(QString::fromStdU16String(caption));
    }
    void SetVisible(bool visible) override { label_.setVisible(visible); }

  private:
    QLabel& label_;
};

class QtTipPanel final : public ITipPanel {
  public:
    QtTipPanel(QFrame& panel, QLabel& label) : panel_(panel), label_(label) {}
    void Show(const std::u16string& tip) override;
    void Hide() override;

  private:
    QFrame& panel_;
    QLabel& label_;
};

class QtPanes final : public IPanes {
  public:
    QtPanes(QtWebPane& top, QtWebPane& bottom) : top_(top), bottom_(bottom) {}
    void Navigate(const std::string& top, const std::string& bottom) override;
    void SetDiscarded(bool discarded) override;

  private:
    QtWebPane& top_;
    QtWebPane& bottom_;
};

}  // namespace velmora::app
