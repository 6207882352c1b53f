#include "app/frmEngineSettings.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <algorithm>

#include "app/ConfigFileWriter.h"

namespace velmora::app {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

bool Takes(const std::string& engine, std::string_view key) {
    return FindConfigRow(engine, key) != nullptr;
}

// The file's value for a setting: nothing where the field is empty or holds the default, so
// a changed default reaches users who never chose their own.
std::optional<std::string> FileValue(const std::string& engine, std::string_view key,
                                     const std::string& value) {
    const ConfigRow* row = FindConfigRow(engine, key);
    if (value.empty() || (row != nullptr && value == row->fallback)) return std::nullopt;
    return value;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

template <typename W>
W* Named(QWidget* parent, const char* name, const QString& text = {}) {
    auto* w = new W(text, parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

}  // namespace

TestSample DefaultTestSample(const std::string& engine) {
    if (engine == "apertium" || engine == "apy")
        return {QStringLiteral("Good morning, my friend."), "en", "es"};
    return {QStringLiteral("你好，朋友"), "zh-CN", "en"};
}

frmEngineSettings::frmEngineSettings(KeyVault& vault, EngineTest test, QWidget* parent)
    : QDialog(parent), vault_(vault), test_(std::move(test)) {
    setObjectName(QStringLiteral("frmEngineSettings"));
    setWindowTitle(QStringLiteral("翻译引擎设置"));
    CreateControls();
    Load();
}

void frmEngineSettings::CreateControls() {
    lstEngines = new QListWidget(this);
    lstEngines->setObjectName(QStringLiteral("lstEngines"));
    cmdUp = Button(this, "cmdUp", QStringLiteral("上移"));
    cmdDown = Button(this, "cmdDown", QStringLiteral("下移"));
    lblUrl = Named<QLabel>(this, "lblUrl", QStringLiteral("地址："));
    txtUrl = Named<QLineEdit>(this, "txtUrl");
    lblKey = Named<QLabel>(this, "lblKey", QStringLiteral("密钥："));
    txtKey = Named<QLineEdit>(this, "txtKey");
    txtKey->setEchoMode(QLineEdit::Password);
    lblRegion = Named<QLabel>(this, "lblRegion", QStringLiteral("区域："));
    txtRegion = Named<QLineEdit>(this, "txtRegion");
    cmdTest = Button(this, "cmdTest", QStringLiteral("测试"));
    cmdTest->setEnabled(static_cast<bool>(test_));
    lblTestResult = Named<QLabel>(this, "lblTestResult");
    lblTestResult->setWordWrap(true);
    lblTestResult->setTextFormat(Qt::PlainText);
    lblKeyStore = Named<QLabel>(this, "lblKeyStore");
    lblNote = Named<QLabel>(this, "lblNote", QStringLiteral("更改在下次启动后生效"));
    lblError = Named<QLabel>(this, "lblError");
    lblError->setWordWrap(true);
    lblError->setTextFormat(Qt::PlainText);
    lblError->setStyleSheet(QStringLiteral("color:#b00020;"));
    cmdOK = Button(this, "cmdOK", QStringLiteral("确定"));
    cmdOK->setDefault(true);
    cmdCancel = Button(this, "cmdCancel", QStringLiteral("取消"));

    auto* moves = new QVBoxLayout;
    moves->addWidget(cmdUp);
    moves->addWidget(cmdDown);
    moves->addStretch();
    auto* fields = new QGridLayout;
    fields->addWidget(lblUrl, 0, 0);
    fields->addWidget(txtUrl, 0, 1);
    fields->addWidget(lblKey, 1, 0);
    fields->addWidget(txtKey, 1, 1);
    fields->addWidget(lblRegion, 2, 0);
    fields->addWidget(txtRegion, 2, 1);
    fields->addWidget(cmdTest, 3, 0);
    fields->addWidget(lblTestResult, 3, 1);
    fields->setRowStretch(4, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(lstEngines, 1);
    top->addLayout(moves);
    top->addLayout(fields, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblNote, 1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(lblKeyStore);
    all->addWidget(lblError);
    all->addLayout(buttons);
    resize(620, 300);

    connect(lstEngines, &QListWidget::currentRowChanged, this, &frmEngineSettings::ShowEngine);
    connect(cmdUp, &QPushButton::clicked, this, [this] { Move(-1); });
    connect(cmdDown, &QPushButton::clicked, this, [this] { Move(1); });
    connect(cmdTest, &QPushButton::clicked, this, &frmEngineSettings::RunTest);
    connect(cmdOK, &QPushButton::clicked, this, &frmEngineSettings::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &frmEngineSettings::reject);
    const auto keep = [this](std::string EngineSettings::*field) {
        return [this, field](const QString& text) {
            if (!filling_ && !shown_.empty()) edits_[shown_].*field = text.trimmed().toStdString();
        };
    };
    connect(txtUrl, &QLineEdit::textChanged, this, keep(&EngineSettings::url));
    connect(txtKey, &QLineEdit::textChanged, this, keep(&EngineSettings::key));
    connect(txtRegion, &QLineEdit::textChanged, this, keep(&EngineSettings::region));
}

void frmEngineSettings::Load() {
    // The file alone: values the environment sets for this run only are not the user's.
    const auto noEnvironment = [](const char*) -> std::optional<std::string> {
        return std::nullopt;
    };
    Diagnostics ignored;
    Configuration config =
        LoadConfiguration(noEnvironment, vault_.File(), ignored, VaultKeyLookup(vault_));
    FillKeysFromVault(vault_, config);
    loaded_ = config.engineSettings;
    for (const std::string& name : KnownEngines()) loaded_[name];  // one entry per engine
    edits_ = loaded_;

    // The engines in use first, in their order, then the others.
    std::vector<std::string> order = config.engines;
    for (const std::string& name : KnownEngines()) {
        if (std::find(order.begin(), order.end(), name) == order.end()) order.push_back(name);
    }
    for (const std::string& name : order) {
        auto* item = new QListWidgetItem(Q(name), lstEngines);
        item->setData(Qt::UserRole, Q(name));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const bool used =
            std::find(config.engines.begin(), config.engines.end(), name) != config.engines.end();
        item->setCheckState(used ? Qt::Checked : Qt::Unchecked);
    }
    lstEngines->setCurrentRow(0);
    lblKeyStore->setText(QStringLiteral("密钥保存在：") + KeyVault::Describe(vault_.Where()));
}

std::string frmEngineSettings::EngineAt(int row) const {
    const QListWidgetItem* item = lstEngines->item(row);
    return item ? item->data(Qt::UserRole).toString().toStdString() : std::string();
}

void frmEngineSettings::ShowEngine(int row) {
    shown_ = EngineAt(row);
    const EngineSettings& s = edits_[shown_];
    filling_ = true;
    const ConfigRow* url = FindConfigRow(shown_, "url");
    txtUrl->setText(Q(s.url));
    txtUrl->setEnabled(url != nullptr);
    txtUrl->setPlaceholderText(
        url == nullptr ? QStringLiteral("本机引擎，无需地址")
        : url->fallback.empty()
            ? (EngineNeedsUrl(shown_) ? QStringLiteral("必填") : QStringLiteral("引擎默认地址"))
            : Q(std::string(url->fallback)));
    txtKey->setText(Q(s.key));
    txtKey->setEnabled(Takes(shown_, "key"));
    txtKey->setPlaceholderText(!Takes(shown_, "key")    ? QStringLiteral("无需密钥")
                               : EngineNeedsKey(shown_) ? QStringLiteral("必填")
                                                        : QStringLiteral("可选"));
    const bool region = Takes(shown_, "region");
    txtRegion->setText(Q(s.region));
    txtRegion->setVisible(region);
    lblRegion->setVisible(region);
    filling_ = false;
    lblTestResult->clear();
    cmdUp->setEnabled(row > 0);
    cmdDown->setEnabled(row >= 0 && row + 1 < lstEngines->count());
}

void frmEngineSettings::Move(int by) {
    const int from = lstEngines->currentRow();
    const int to = from + by;
    if (from < 0 || to < 0 || to >= lstEngines->count()) return;
    QListWidgetItem* item = lstEngines->takeItem(from);
    lstEngines->insertItem(to, item);
    lstEngines->setCurrentRow(to);
}

void frmEngineSettings::RunTest() {
    if (!test_ || shown_.empty()) return;
    lblTestResult->setText(QStringLiteral("正在测试……"));
    lblTestResult->repaint();
    const auto [ok, text] = test_(shown_, edits_[shown_]);
    lblTestResult->setStyleSheet(ok ? QStringLiteral("color:#1f6f2b;")
                                    : QStringLiteral("color:#b00020;"));
    lblTestResult->setText((ok ? QStringLiteral("译文：") : QStringLiteral("失败：")) + text);
}

QString frmEngineSettings::Check(const std::vector<std::string>& enabled) const {
    if (enabled.empty()) return QStringLiteral("请至少选择一个翻译引擎");
    for (const std::string& name : enabled) {
        const EngineSettings& s = edits_.at(name);
        if (EngineNeedsUrl(name) && s.url.empty())
            return QStringLiteral("引擎 %1 需要填写地址").arg(Q(name));
        if (EngineNeedsKey(name) && s.key.empty())
            return QStringLiteral("引擎 %1 需要填写密钥").arg(Q(name));
    }
    return {};
}

QString frmEngineSettings::Save() {
    std::vector<std::string> enabled;
    for (int row = 0; row < lstEngines->count(); ++row) {
        if (lstEngines->item(row)->checkState() == Qt::Checked) enabled.push_back(EngineAt(row));
    }
    if (QString why = Check(enabled); !why.isEmpty()) return why;

    for (const std::string& name : KnownEngines()) {
        if (!Takes(name, "key") || edits_[name].key == loaded_[name].key) continue;
        if (QString why = vault_.Write(name, edits_[name].key); !why.isEmpty()) return why;
        loaded_[name].key = edits_[name].key;
    }
    lblKeyStore->setText(QStringLiteral("密钥保存在：") + KeyVault::Describe(vault_.Where()));

    std::string list;
    for (const std::string& name : enabled) list += (list.empty() ? "" : ", ") + name;
    std::vector<IniChange> changes = {{"translation", "engines", list}};
    for (const std::string& name : KnownEngines()) {
        for (auto [key, field] : {std::pair{"url", &EngineSettings::url},
                                  std::pair{"region", &EngineSettings::region}}) {
            if (Takes(name, key))
                changes.push_back({name, key, FileValue(name, key, edits_[name].*field)});
        }
    }
    return Q(WriteIniChanges(vault_.File(), changes));
}

void frmEngineSettings::accept() {
    const QString why = Save();
    if (!why.isEmpty()) {
        lblError->setText(QStringLiteral("未能保存：") + why);
        return;
    }
    QDialog::accept();
}

}  // namespace velmora::app
