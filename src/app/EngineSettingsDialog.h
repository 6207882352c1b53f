#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QString>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/KeyVault.h"
#include "app/SettingsDialog.h"
#include "app/core/Configuration.h"
#include "app/core/EngineGuide.h"
#include "app/core/SettingsForms.h"

namespace velmora::app {

// Translates a sample through one engine alone, built from the settings as shown: true and the
// translation, or false and why not (never a key).
using EngineTest =
    std::function<std::pair<bool, QString>(const std::string& engine, const EngineSettings&)>;

// The engine list, order and per-engine address, key and region, each engine with its name for
// the user, what it needs, whether it is offline, its languages and where its key comes from
// (opened in the desktop's browser). Reads the configuration file and the vault when built; OK
// writes the list and addresses to the file and changed keys to the vault; Cancel writes nothing.
// The caller puts a saved change to work.
class EngineSettingsDialog : public SettingsDialog {
    Q_OBJECT
  public:
    EngineSettingsDialog(KeyVault& vault, EngineTest test, QWidget* parent = nullptr);

    QListWidget* lstEngines = nullptr;
    QPushButton* cmdUp = nullptr;
    QPushButton* cmdDown = nullptr;
    QLabel* lblName = nullptr;
    QLabel* lblNeeds = nullptr;
    QLabel* lblOffline = nullptr;
    QLabel* lblCoverage = nullptr;
    QLabel* lblLink = nullptr;  // a link to the key page; empty when the engine has none
    QLabel* lblUrl = nullptr;
    QLineEdit* txtUrl = nullptr;
    QLabel* lblKey = nullptr;
    QLineEdit* txtKey = nullptr;
    QLabel* lblRegion = nullptr;
    QLineEdit* txtRegion = nullptr;
    QPushButton* cmdTest = nullptr;
    QLabel* lblTestResult = nullptr;
    QLabel* lblKeyStore = nullptr;

  private:
    void CreateControls();
    void Load();
    void ShowEngine(int row);
    void Move(int by);
    void RunTest();
    QString Save() override;
    std::string EngineAt(int row) const;

    KeyVault& vault_;
    EngineTest test_;
    EngineEdits loaded_;
    EngineEdits edits_;
    std::string shown_;
    std::vector<std::string> apertiumPairs_;
    bool filling_ = false;  // fields are being filled from edits_, not typed
};

}  // namespace velmora::app
