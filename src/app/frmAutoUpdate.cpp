#include "app/frmAutoUpdate.h"

#include <QVBoxLayout>

namespace velmora::app {

frmAutoUpdate::frmAutoUpdate(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint),
      Label1(new QLabel(QStringLiteral("程序更新中，请稍候......"), this)) {
    setWindowTitle(QStringLiteral("Quillet程序更新"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    setFixedSize(300, 80);
}

}  // namespace velmora::app
