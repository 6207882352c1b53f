#include "platform/qt/QtMessageBox.h"

#include <QMessageBox>
#include <QString>

namespace velmora::platform::qt {

void QtMessageBox::Show(const std::u16string& text) {
    QMessageBox::information(nullptr, QStringLiteral("velmora"), QString::fromStdU16String(text));
}

}  // namespace velmora::platform::qt
