#include "target/qt/frmSettingSendShortcut.h"

#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

namespace velmora::target {

namespace {
QString Q(const std::u16string& s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

frmSettingSendShortcut::frmSettingSendShortcut() : mControl(choice_.mControl), mKey(choice_.mKey) {}

frmSettingSendShortcut::~frmSettingSendShortcut() = default;

void frmSettingSendShortcut::ShowModal() {
    // No owner window: the dialog stands on its own.
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("设置发送快捷键"));
    dialog.setObjectName(QStringLiteral("frmSettingSendShortcut"));
    auto* row = new QHBoxLayout(&dialog);
    cboCtrl = new QComboBox(&dialog);
    cboCtrl->setObjectName(QStringLiteral("cboCtrl"));
    cboKey = new QComboBox(&dialog);
    cboKey->setObjectName(QStringLiteral("cboKey"));
    cmdOK = new QPushButton(QStringLiteral("完成"), &dialog);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel = new QPushButton(QStringLiteral("取消"), &dialog);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    // Neither button answers Enter on its own: the user picks one.
    cmdOK->setAutoDefault(false);
    cmdCancel->setAutoDefault(false);
    row->addWidget(cboCtrl);
    row->addWidget(cboKey);
    row->addWidget(cmdOK);
    row->addWidget(cmdCancel);
    QWidget::setTabOrder(cboCtrl, cboKey);
    QWidget::setTabOrder(cboKey, cmdOK);
    QWidget::setTabOrder(cmdOK, cmdCancel);

    cboCtrl->clear();
    for (const auto& item : ControlItems()) cboCtrl->addItem(Q(item));
    cboCtrl->setCurrentIndex(0);
    cboKey->clear();
    for (const auto& item : KeyItems()) cboKey->addItem(Q(item));
    cboKey->setCurrentIndex(0);

    QObject::connect(cmdOK, &QPushButton::clicked, &dialog, [this] { cmdOK_Click(); });
    QObject::connect(cmdCancel, &QPushButton::clicked, &dialog, [this] { cmdCancel_Click(); });

    window_ = &dialog;
    // Esc and the close box end the dialog without touching the fields.
    dialog.exec();
    window_ = nullptr;
    cboCtrl = cboKey = nullptr;
    cmdOK = cmdCancel = nullptr;
}

void frmSettingSendShortcut::cmdOK_Click() {
    QString keyText = cboKey->currentText();
    choice_.Ok(cboCtrl->currentIndex(), cboKey->currentIndex(),
               std::u16string(reinterpret_cast<const char16_t*>(keyText.utf16()),
                              static_cast<size_t>(keyText.size())));
    window_->hide();
}

void frmSettingSendShortcut::cmdCancel_Click() {
    choice_.Cancel();
    window_->hide();
}

}  // namespace velmora::target
