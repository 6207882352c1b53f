#include "app/SettingsDialog.h"

#include "app/core/SettingsForms.h"

namespace velmora::app {

SettingsDialog::SettingsDialog(const QString& note, QWidget* parent) : QDialog(parent) {
    lblNote = new QLabel(note, this);
    lblNote->setObjectName(QStringLiteral("lblNote"));
    lblNote->setWordWrap(true);
    lblError = new QLabel(this);
    lblError->setObjectName(QStringLiteral("lblError"));
    lblError->setWordWrap(true);
    lblError->setTextFormat(Qt::PlainText);
    lblError->setStyleSheet(QStringLiteral("color:#b00020;"));
    cmdOK = new QPushButton(QStringLiteral("确定"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("取消"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);
    connect(cmdOK, &QPushButton::clicked, this, &SettingsDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &SettingsDialog::reject);
}

void SettingsDialog::accept() {
    const QString why = Save();
    if (!why.isEmpty()) {
        lblError->setText(QString::fromStdString(SaveErrorLine(why.toStdString())));
        return;
    }
    QDialog::accept();
}

}  // namespace velmora::app
