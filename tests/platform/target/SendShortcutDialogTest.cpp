// The send shortcut dialog as a real Qt window, and the input box's Qt key mapping.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTimer>

#include <functional>

#include "platform/VirtualKey.h"
#include "target/qt/TxtSendKeysQt.h"
#include "target/qt/frmSettingSendShortcut.h"

namespace velmora::target {
namespace {

namespace vk = platform::vk;

struct Opened {
    QString title;
    QString ctrl, key;
    int ctrlCount = 0, keyCount = 0;
    QString ok, cancel;
};

// Shows the dialog through the menu entry's path; once it is up, records what it opened
// with and lets `act` play the user.
Opened RunWith(frmSettingSendShortcut& dialog, std::int32_t& control, std::int32_t& key,
               const std::function<void(frmSettingSendShortcut&)>& act) {
    Opened seen;
    QTimer::singleShot(50, [&] {
        QDialog* w = dialog.window();
        if (!w) return;
        seen = {
            w->windowTitle(),        dialog.cboCtrl->currentText(), dialog.cboKey->currentText(),
            dialog.cboCtrl->count(), dialog.cboKey->count(),        dialog.cmdOK->text(),
            dialog.cmdCancel->text()};
        act(dialog);
    });
    // Never hang the test on a dialog that stays open.
    QTimer::singleShot(5000, [&] {
        if (dialog.window()) dialog.window()->close();
    });
    RunSendShortcutSetting(dialog, control, key);
    return seen;
}

auto Choose(int ctrl, int key) {
    return [=](frmSettingSendShortcut& d) {
        d.cboCtrl->setCurrentIndex(ctrl);
        d.cboKey->setCurrentIndex(key);
        d.cmdOK->click();
    };
}

TEST(SendShortcutDialogTest, ButtonsAndCloseBoxAcrossUses) {
    struct Step {
        std::function<void(frmSettingSendShortcut&)> act;
        std::int32_t control, key;
    };
    const Step steps[] = {
        {Choose(1, 0), vk::Control, vk::Return},                               // CTRL + {Enter}
        {Choose(0, 26), 0, vk::Letter('Z')},                                   // (无) + Z
        {[](frmSettingSendShortcut& d) { d.cmdOK->click(); }, 0, vk::Return},  // untouched
        {Choose(2, 19), vk::Menu, vk::Letter('S')},                            // ALT + S
        {[](frmSettingSendShortcut& d) { d.window()->close(); }, vk::Menu,
         vk::Letter('S')},  // close box
        {[](frmSettingSendShortcut& d) { d.window()->reject(); }, vk::Menu,
         vk::Letter('S')},  // Esc
        {[](frmSettingSendShortcut& d) { d.cmdCancel->click(); }, 0, 0},
        {Choose(3, 1), vk::Shift, vk::Letter('A')},  // SHIFT + A
    };
    frmSettingSendShortcut dialog;
    std::int32_t control = 0, key = 0;
    int i = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(i++);
        Opened seen = RunWith(dialog, control, key, s.act);
        // Whatever is in force, the dialog opens on the first item of each list.
        EXPECT_EQ(seen.title, QStringLiteral("设置发送快捷键"));
        EXPECT_EQ(seen.ctrl, QStringLiteral("(无)"));
        EXPECT_EQ(seen.key, QStringLiteral("{Enter}"));
        EXPECT_EQ(seen.ctrlCount, 4);
        EXPECT_EQ(seen.keyCount, 27);
        EXPECT_EQ(seen.ok, QStringLiteral("完成"));
        EXPECT_EQ(seen.cancel, QStringLiteral("取消"));
        EXPECT_EQ(control, s.control);
        EXPECT_EQ(key, s.key);
        EXPECT_EQ(dialog.mControl, s.control);
        EXPECT_EQ(dialog.mKey, s.key);
        // The window is gone after each use; the object and its fields stay.
        EXPECT_EQ(dialog.window(), nullptr);
    }
}

TEST(TxtSendQtKeysTest, QtKeysAndModifiers) {
    struct Case {
        int key;
        Qt::KeyboardModifiers mods;
        bool sends;
    };
    const Case cases[] = {
        {Qt::Key_Return, Qt::ControlModifier, true},
        {Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier, true},
        {Qt::Key_S, Qt::AltModifier, true},
        {Qt::Key_Return, Qt::NoModifier, false},
        {Qt::Key_Return, Qt::ShiftModifier, false},
        {Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier, false},
        {Qt::Key_S, Qt::ControlModifier, false},
        {Qt::Key_S, Qt::AltModifier | Qt::ShiftModifier, false},
        {Qt::Key_Return, Qt::ControlModifier | Qt::AltModifier, false},
        {Qt::Key_Return, Qt::ControlModifier | Qt::MetaModifier, false},
        {Qt::Key_S, Qt::AltModifier | Qt::ControlModifier, false},
        {Qt::Key_A, Qt::AltModifier, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsSendKeyEvent(c.key, c.mods), c.sends) << c.key << " " << c.mods.toInt();
    EXPECT_EQ(VkFromQtKey(Qt::Key_A), vk::Letter('A'));
    EXPECT_EQ(VkFromQtKey(Qt::Key_Z), vk::Letter('Z'));
    EXPECT_EQ(VkFromQtKey(Qt::Key_Delete), vk::Delete);
    EXPECT_EQ(VkFromQtKey(Qt::Key_F1), 0);
}

}  // namespace
}  // namespace velmora::target

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
