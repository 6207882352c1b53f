#include "app/InPlaceSettingsDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "app/core/SettingsForms.h"

namespace velmora::app {

namespace {

// Qt names the Super key Meta.
QString ToQtText(const std::string& shortcut) {
    return QString::fromStdString(shortcut).replace(QStringLiteral("Super+"),
                                                    QStringLiteral("Meta+"));
}

}  // namespace

InPlaceSettingsDialog::InPlaceSettingsDialog(std::filesystem::path configFile, QWidget* parent)
    : SettingsDialog(QStringLiteral("在任意窗口按快捷键，输入框中的文字即被替换为译文。"
                                    "确定后立即生效。"),
                     parent),
      file_(std::move(configFile)) {
    setObjectName(QStringLiteral("InPlaceSettingsDialog"));
    setWindowTitle(QStringLiteral("就地翻译"));
    CreateControls();
    Load();
}

void InPlaceSettingsDialog::CreateControls() {
    lblShortcut = new QLabel(QStringLiteral("快捷键："), this);
    lblShortcut->setObjectName(QStringLiteral("lblShortcut"));
    txtShortcut = new QKeySequenceEdit(this);
    txtShortcut->setObjectName(QStringLiteral("txtShortcut"));
    cmdClear = new QPushButton(QStringLiteral("不使用"), this);
    cmdClear->setObjectName(QStringLiteral("cmdClear"));
    cmdClear->setAutoDefault(false);
    chkSend = new QCheckBox(QStringLiteral("替换后按发送快捷键发送"), this);
    chkSend->setObjectName(QStringLiteral("chkSend"));

    auto* fields = new QGridLayout;
    fields->addWidget(lblShortcut, 0, 0);
    fields->addWidget(txtShortcut, 0, 1);
    fields->addWidget(cmdClear, 0, 2);
    fields->addWidget(chkSend, 1, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* all = new QVBoxLayout(this);
    all->addLayout(fields);
    all->addWidget(lblNote);
    all->addWidget(lblError);
    all->addLayout(buttons);
    resize(380, 160);

    connect(cmdClear, &QPushButton::clicked, txtShortcut, &QKeySequenceEdit::clear);
    // One chord is a shortcut; the edit would go on recording up to four.
    connect(txtShortcut, &QKeySequenceEdit::keySequenceChanged, this,
            [this](const QKeySequence& seq) {
                if (seq.count() > 1) txtShortcut->setKeySequence(QKeySequence(seq[0]));
            });
}

void InPlaceSettingsDialog::Load() {
    // The file as it is now: it may have been saved from here since the start.
    const InPlaceForm form = LoadInPlaceForm(file_);
    if (!form.shortcut.empty())
        txtShortcut->setKeySequence(
            QKeySequence::fromString(ToQtText(form.shortcut), QKeySequence::PortableText));
    chkSend->setChecked(form.send);
}

QString InPlaceSettingsDialog::Save() {
    const QKeySequence seq = txtShortcut->keySequence();
    const std::string typed =
        seq.isEmpty() ? std::string()
                      : QKeySequence(seq[0]).toString(QKeySequence::PortableText).toStdString();
    std::vector<IniChange> changes;
    if (std::string why = InPlaceChanges(typed, chkSend->isChecked(), changes); !why.empty())
        return QString::fromStdString(why);
    return QString::fromStdString(WriteIniChanges(file_, changes));
}

}  // namespace velmora::app
