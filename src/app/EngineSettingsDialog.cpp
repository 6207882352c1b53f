#include "app/EngineSettingsDialog.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QUrl>
#include <QVBoxLayout>

namespace velmora::app {

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
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

EngineSettingsDialog::EngineSettingsDialog(KeyVault& vault, EngineTest test, QWidget* parent)
    : SettingsDialog(QStringLiteral("确定后立即生效"), parent),
      vault_(vault),
      test_(std::move(test)) {
    setObjectName(QStringLiteral("EngineSettingsDialog"));
    setWindowTitle(QStringLiteral("翻译引擎设置"));
    CreateControls();
    Load();
}

void EngineSettingsDialog::CreateControls() {
    lstEngines = new QListWidget(this);
    lstEngines->setObjectName(QStringLiteral("lstEngines"));
    cmdUp = Button(this, "cmdUp", QStringLiteral("上移"));
    cmdDown = Button(this, "cmdDown", QStringLiteral("下移"));
    lblName = Named<QLabel>(this, "lblName");
    lblName->setStyleSheet(QStringLiteral("font-weight:bold;"));
    lblNeeds = Named<QLabel>(this, "lblNeeds");
    lblOffline = Named<QLabel>(this, "lblOffline");
    lblCoverage = Named<QLabel>(this, "lblCoverage");
    for (QLabel* l : {lblName, lblNeeds, lblOffline, lblCoverage}) {
        l->setWordWrap(true);
        l->setTextFormat(Qt::PlainText);
    }
    lblLink = Named<QLabel>(this, "lblLink");
    lblLink->setTextFormat(Qt::RichText);
    lblLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
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
    auto* about = new QVBoxLayout;
    for (QLabel* l : {lblName, lblNeeds, lblOffline}) about->addWidget(l);
    // A long list of languages scrolls in its own place instead of being squeezed over the
    // lines around it.
    auto* coverage = new QScrollArea(this);
    coverage->setObjectName(QStringLiteral("scrCoverage"));
    coverage->setFrameShape(QFrame::NoFrame);
    coverage->setWidgetResizable(true);
    coverage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    coverage->setWidget(lblCoverage);
    coverage->setMinimumHeight(64);
    lblCoverage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    about->addWidget(coverage, 1);
    about->addWidget(lblLink);
    about->addLayout(fields);
    auto* top = new QHBoxLayout;
    top->addWidget(lstEngines, 1);
    top->addLayout(moves);
    top->addLayout(about, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblNote, 1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(lblKeyStore);
    all->addWidget(lblError);
    all->addLayout(buttons);
    resize(700, 420);

    connect(lstEngines, &QListWidget::currentRowChanged, this, &EngineSettingsDialog::ShowEngine);
    connect(cmdUp, &QPushButton::clicked, this, [this] { Move(-1); });
    connect(cmdDown, &QPushButton::clicked, this, [this] { Move(1); });
    connect(cmdTest, &QPushButton::clicked, this, &EngineSettingsDialog::RunTest);
    connect(lblLink, &QLabel::linkActivated, this,
            [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
    const auto keep = [this](std::string EngineSettings::*field) {
        return [this, field](const QString& text) {
            if (!filling_ && !shown_.empty()) edits_[shown_].*field = text.trimmed().toStdString();
        };
    };
    connect(txtUrl, &QLineEdit::textChanged, this, keep(&EngineSettings::url));
    connect(txtKey, &QLineEdit::textChanged, this, keep(&EngineSettings::key));
    connect(txtRegion, &QLineEdit::textChanged, this, keep(&EngineSettings::region));
}

void EngineSettingsDialog::Load() {
    Configuration config = LoadSettingsFile(vault_.File(), VaultKeyLookup(vault_));
    FillKeysFromVault(vault_, config);
    loaded_ = EngineEditsOf(config);
    edits_ = loaded_;
    apertiumPairs_ = InstalledApertiumPairs(config.apertiumModes);
    for (const EngineListRow& row : EngineListOrder(config, KnownEngines())) {
        auto* item = new QListWidgetItem(Q(GuideOf(row.name).name), lstEngines);
        item->setData(Qt::UserRole, Q(row.name));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(row.used ? Qt::Checked : Qt::Unchecked);
    }
    // Wide enough for the longest name.
    lstEngines->setMinimumWidth(lstEngines->sizeHintForColumn(0) + 2 * lstEngines->frameWidth() +
                                8);
    lstEngines->setCurrentRow(0);
    lblKeyStore->setText(QStringLiteral("密钥保存在：") + KeyVault::Describe(vault_.Where()));
}

std::string EngineSettingsDialog::EngineAt(int row) const {
    const QListWidgetItem* item = lstEngines->item(row);
    return item ? item->data(Qt::UserRole).toString().toStdString() : std::string();
}

void EngineSettingsDialog::ShowEngine(int row) {
    shown_ = EngineAt(row);
    const EngineSettings& s = edits_[shown_];
    const EngineFields fields = FieldsOf(shown_);
    const EngineGuide guide = GuideOf(shown_);
    lblName->setText(Q(guide.name));
    lblNeeds->setText(Q(guide.needs));
    lblOffline->setText(Q(OfflineLine(guide)));
    lblCoverage->setText(Q(CoverageLine(shown_, apertiumPairs_)));
    lblLink->setText(guide.linkUrl.empty()
                         ? QString()
                         : QStringLiteral("<a href=\"%1\">%2</a>")
                               .arg(Q(guide.linkUrl).toHtmlEscaped(), Q(guide.linkText)));
    filling_ = true;
    txtUrl->setText(Q(s.url));
    txtUrl->setEnabled(fields.url);
    txtUrl->setPlaceholderText(Q(fields.urlHint));
    txtKey->setText(Q(s.key));
    txtKey->setEnabled(fields.key);
    txtKey->setPlaceholderText(Q(fields.keyHint));
    txtRegion->setText(Q(s.region));
    txtRegion->setVisible(fields.region);
    lblRegion->setVisible(fields.region);
    filling_ = false;
    lblTestResult->clear();
    cmdUp->setEnabled(row > 0);
    cmdDown->setEnabled(row >= 0 && row + 1 < lstEngines->count());
}

void EngineSettingsDialog::Move(int by) {
    const int from = lstEngines->currentRow();
    const int to = from + by;
    if (from < 0 || to < 0 || to >= lstEngines->count()) return;
    QListWidgetItem* item = lstEngines->takeItem(from);
    lstEngines->insertItem(to, item);
    lstEngines->setCurrentRow(to);
}

void EngineSettingsDialog::RunTest() {
    if (!test_ || shown_.empty()) return;
    lblTestResult->setText(QStringLiteral("正在测试……"));
    lblTestResult->repaint();
    const auto [ok, text] = test_(shown_, edits_[shown_]);
    lblTestResult->setStyleSheet(ok ? QStringLiteral("color:#1f6f2b;")
                                    : QStringLiteral("color:#b00020;"));
    lblTestResult->setText(Q(TestResultLine(ok, text.toStdString())));
}

QString EngineSettingsDialog::Save() {
    std::vector<std::string> enabled;
    for (int row = 0; row < lstEngines->count(); ++row) {
        if (lstEngines->item(row)->checkState() == Qt::Checked) enabled.push_back(EngineAt(row));
    }
    if (std::string why = CheckEngineSettings(enabled, edits_); !why.empty()) return Q(why);

    for (const IniChange& key : KeyChanges(loaded_, edits_)) {
        if (QString why = vault_.Write(key.section, key.value.value_or("")); !why.isEmpty())
            return why;
        loaded_[key.section].key = key.value.value_or("");
    }
    lblKeyStore->setText(QStringLiteral("密钥保存在：") + KeyVault::Describe(vault_.Where()));
    return Q(WriteIniChanges(vault_.File(), EngineSettingsChanges(enabled, edits_)));
}

}  // namespace velmora::app
