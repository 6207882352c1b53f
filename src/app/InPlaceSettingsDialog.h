#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <filesystem>

namespace velmora::app {

// The in-place translation's global shortcut and whether it sends after the paste. Reads the
// configuration file when built; OK writes [inplace] to it, Cancel writes nothing. The caller puts
// a saved change to work.
class InPlaceSettingsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit InPlaceSettingsDialog(std::filesystem::path configFile, QWidget* parent = nullptr);

    // Saves, and closes only when the shortcut is usable and the file was written.
    void accept() override;

    QLabel* lblShortcut = nullptr;
    QKeySequenceEdit* txtShortcut = nullptr;
    QPushButton* cmdClear = nullptr;
    QCheckBox* chkSend = nullptr;
    QLabel* lblNote = nullptr;
    QLabel* lblError = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

  private:
    void CreateControls();
    void Load();
    // Why nothing was saved, or empty.
    QString Save();

    std::filesystem::path file_;
};

}  // namespace velmora::app
