#pragma once

#include <cstdint>
#include <memory>

#include "target/SendShortcut.h"

class QDialog;
class QComboBox;
class QPushButton;

namespace velmora::target {

// The send shortcut dialog "设置发送快捷键". The object and its two fields last; the window
// is built afresh each time it is shown, always opening on "(无)" and "{Enter}".
class frmSettingSendShortcut : public ISendShortcutDialog {
  public:
    frmSettingSendShortcut();
    ~frmSettingSendShortcut() override;
    frmSettingSendShortcut(const frmSettingSendShortcut&) = delete;
    frmSettingSendShortcut& operator=(const frmSettingSendShortcut&) = delete;
    void ShowModal() override;
    const SendShortcutChoice& Choice() const override { return choice_; }

    int& mControl;
    int& mKey;

    // While the dialog is shown (for tests and callers that script it); null otherwise.
    QDialog* window() const { return window_; }
    QComboBox* cboCtrl = nullptr;
    QComboBox* cboKey = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

  private:
    void cmdOK_Click();
    void cmdCancel_Click();
    SendShortcutChoice choice_;
    QDialog* window_ = nullptr;
};

}  // namespace velmora::target
