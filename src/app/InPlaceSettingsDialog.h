#pragma once

#include <QCheckBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <filesystem>

#include "app/SettingsDialog.h"

namespace velmora::app {

// The in-place translation's global shortcut and whether it sends after the paste. Reads the
// configuration file when built; OK writes [inplace] to it, Cancel writes nothing. The caller puts
// a saved change to work.
class InPlaceSettingsDialog : public SettingsDialog {
    Q_OBJECT
  public:
    explicit InPlaceSettingsDialog(std::filesystem::path configFile, QWidget* parent = nullptr);

    QLabel* lblShortcut = nullptr;
    QKeySequenceEdit* txtShortcut = nullptr;
    QPushButton* cmdClear = nullptr;
    QCheckBox* chkSend = nullptr;

  private:
    void CreateControls();
    void Load();
    QString Save() override;

    std::filesystem::path file_;
};

}  // namespace velmora::app
