#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QString>

namespace velmora::app {

// What the settings dialogs share: a note, an error line, 确定 and 取消. 确定 closes the dialog
// only once it has saved; otherwise the error line says why and the dialog stays.
class SettingsDialog : public QDialog {
    Q_OBJECT
  public:
    void accept() final;

    QLabel* lblNote = nullptr;
    QLabel* lblError = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

  protected:
    SettingsDialog(const QString& note, QWidget* parent);
    // Writes the dialog's settings: why nothing was saved, or empty.
    virtual QString Save() = 0;
};

}  // namespace velmora::app
