#include "app/frmMain.h"

#include <QKeyEvent>
#include <QString>

#include "app/QtArtwork.h"
#include "app/core/TipPanel.h"
#include "target/qt/TxtSendKeysQt.h"

// The window's controls and menus, where the design places them, and the events they forward.
namespace velmora::app {

namespace {

SendBoxKey KeyOf(const QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier)
        return SendBoxKey::EscapeAlone;
    if (target::IsSendKeyEvent(e->key(), e->modifiers())) return SendBoxKey::SendChord;
    return SendBoxKey::Other;
}

template <typename W>
W* Place(QWidget* parent, const char* name, int x, int y, int w, int h) {
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

ImageControl* Image(QWidget* parent, const char* name, int x, int y, int w, int h,
                    const QPixmap& picture, bool visible) {
    auto* img = Place<ImageControl>(parent, name, x, y, w, h);
    if (!picture.isNull()) img->setPixmap(picture);
    img->setVisible(visible);
    return img;
}

}  // namespace

void frmMain::CreateControls() {
    tmrRefresh = new QTimer(this);
    tmrRefresh->setObjectName(QStringLiteral("tmrRefresh"));
    tmrRefresh->setInterval(Heartbeat::kTickMs);
    // Never inside a relay job: the next tick (30 s on) queries instead.
    connect(tmrRefresh, &QTimer::timeout, this, [this] { controller_.OnRefreshTick(); });
    tmrRefresh->start();

    cmdSend = Place<QPushButton>(this, "cmdSend", 368, 544, 89, 17);
    cmdSend->setText(QStringLiteral("发送指令"));
    cmdSend->setFocusPolicy(Qt::NoFocus);
    connect(cmdSend, &QPushButton::clicked, this, &frmMain::cmdSend_Click);

    txtResult = Place<ResultTextBox>(this, "txtResult", 8, 8, 337, 404);
    txtResult->setAcceptRichText(true);
    txtResult->setFrameShape(QFrame::NoFrame);
    connect(txtResult, &ResultTextBox::focusGained, this,
            [this] { controller_.OnResultBoxFocus(true); });
    connect(txtResult, &ResultTextBox::focusLost, this,
            [this] { controller_.OnResultBoxFocus(false); });

    picTips = Place<QFrame>(this, "picTips", kTipPanelDesign.x, kTipPanelDesign.y,
                            kTipPanelDesign.width, kTipPanelDesign.height);
    lblTips = Place<QLabel>(picTips, "lblTips", kTipLabelDesign.x, kTipLabelDesign.y,
                            kTipLabelDesign.width, kTipLabelDesign.height);
    lblTips->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblTips->setTextFormat(Qt::PlainText);
    lblTips->setWordWrap(true);
    auto* tipsCaption = new QLabel(QStringLiteral("操作提示"), picTips);
    tipsCaption->setObjectName(QStringLiteral("picTipsCaption"));
    tipsCaption->setGeometry(6, 1, 99, 15);
    tipsCaption->setStyleSheet(QStringLiteral("color:#a08a3c; font-size:10px; border:none;"));

    WebBrowser2 = Place<QtWebPane>(this, "WebBrowser2", 344, 416, 169, 225);
    WebBrowser1 = Place<QtWebPane>(this, "WebBrowser1", 344, 8, 169, 406);

    cboOtherLan = Place<QComboBox>(this, "cboOtherLan", 72, 412, 81, 21);
    cboMyLan = Place<QComboBox>(this, "cboMyLan", 232, 419, 113, 21);
    for (QComboBox* c : {cboOtherLan, cboMyLan}) {
        c->setMaxVisibleItems(15);
        c->setFocusPolicy(Qt::StrongFocus);
    }

    txtSend = Place<SendTextBox>(this, "txtSend", 8, 440, 337, 163);
    txtSend->setFrameShape(QFrame::NoFrame);
    txtSend->setTabChangesFocus(true);
    txtSend->keyDown = [this](QKeyEvent* e) { return controller_.OnSendBoxKey(KeyOf(e)); };
    // Keys an input method takes never arrive as key presses; its pre-edit and commit do.
    connect(txtSend, &SendTextBox::inputMethodUsed, this,
            [this] { controller_.OnSendBoxComposition(); });
    connect(txtSend, &SendTextBox::focusGained, this, [this] { controller_.OnSendBoxFocus(true); });
    connect(txtSend, &SendTextBox::focusLost, this, [this] { controller_.OnSendBoxFocus(false); });

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    // A history read through the accessibility tree needs no idle moment: it is watched always.
    tmrWatch = new QTimer(this);
    tmrWatch->setObjectName(QStringLiteral("tmrWatch"));
    tmrWatch->setInterval(500);
    connect(tmrWatch, &QTimer::timeout, this, [this] { controller_.OnWatchTick(); });
    tmrWatch->start();

    imgSettingClicked =
        Image(this, "imgSettingClicked", 13, 605, 73, 38, artwork::SettingPressed(), false);
    imgSetting = Image(this, "imgSetting", 8, 608, 73, 33, artwork::SettingButton(), true);
    imgReturnAreaClicked = Image(this, "imgReturnAreaClicked", 150, 605, 30, 38,
                                 artwork::PickerPressed(Picker::ReturnArea), false);
    imgSendAreaClicked = Image(this, "imgSendAreaClicked", 119, 605, 30, 38,
                               artwork::PickerPressed(Picker::SendArea), false);
    imgSendButtonClicked = Image(this, "imgSendButtonClicked", 88, 605, 30, 38,
                                 artwork::PickerPressed(Picker::SendButton), false);
    // The three pickers have no picture of their own: the background carries their glyphs.
    imgReturnArea = Image(this, "imgReturnArea", 149, 608, 28, 33, QPixmap(), true);
    imgSendArea = Image(this, "imgSendArea", 120, 608, 28, 33, QPixmap(), true);
    imgSendButton = Image(this, "imgSendButton", 88, 608, 28, 33, QPixmap(), true);
    imgSendMouseDown =
        Image(this, "imgSendMouseDown", 240, 605, 98, 38, artwork::SendPressed(), false);
    imgSendMask = Image(this, "imgSendMask", 240, 608, 105, 33, artwork::SendButton(), true);
    lblTimeKeeper = Place<QLabel>(this, "lblTimeKeeper", 184, 616, 57, 17);
    lblTimeKeeper->setText(QStringLiteral("0"));
    lblTimeKeeper->setAlignment(Qt::AlignCenter);

    // Pressed looks only show; the press and release belong to the image underneath.
    for (ImageControl* look : {imgSettingClicked, imgReturnAreaClicked, imgSendAreaClicked,
                               imgSendButtonClicked, imgSendMouseDown}) {
        look->setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    // Earlier controls stack above later ones, so the tip panel floats over the input box and
    // each pressed look over its image.
    // A long tip's panel grows up over the result box, so it stacks above that too.
    const QList<QWidget*> order = {picTips,
                                   cmdSend,
                                   txtResult,
                                   WebBrowser2,
                                   WebBrowser1,
                                   cboOtherLan,
                                   cboMyLan,
                                   txtSend,
                                   imgSettingClicked,
                                   imgSetting,
                                   imgReturnAreaClicked,
                                   imgSendAreaClicked,
                                   imgSendButtonClicked,
                                   imgReturnArea,
                                   imgSendArea,
                                   imgSendButton,
                                   imgSendMouseDown,
                                   imgSendMask,
                                   lblTimeKeeper};
    for (auto it = order.rbegin(); it != order.rend(); ++it) (*it)->raise();

    connect(imgSetting, &ImageControl::pressed, this, [this] { imgSettingClicked->show(); });
    connect(imgSetting, &ImageControl::released, this, [this] {
        imgSettingClicked->hide();
        controller_.OnSettingIconReleased();
    });

    WirePicker(imgSendArea, imgSendAreaClicked, Picker::SendArea);
    WirePicker(imgReturnArea, imgReturnAreaClicked, Picker::ReturnArea);
    WirePicker(imgSendButton, imgSendButtonClicked, Picker::SendButton);

    connect(imgSendMask, &ImageControl::pressed, this, [this] { imgSendMouseDown->show(); });
    connect(imgSendMask, &ImageControl::released, this, [this] {
        imgSendMouseDown->hide();
        cmdSend_Click();
    });
}

void frmMain::CreateMenus() {
    mnuPopup = new QMenu(QStringLiteral("弹出窗口"), this);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    mnuRestore = mnuPopup->addAction(QStringLiteral("还原(&R)"));
    mnuRestore->setObjectName(QStringLiteral("mnuRestore"));
    mnuPopup->addSeparator()->setObjectName(QStringLiteral("mnuSep"));
    mnuExit = mnuPopup->addAction(QStringLiteral("退出(&X)"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    const auto menu = [this](QAction* action, MenuCommand command) {
        connect(action, &QAction::triggered, this,
                [this, command] { controller_.OnMenu(command); });
    };
    menu(mnuRestore, MenuCommand::Restore);
    menu(mnuExit, MenuCommand::Exit);

    mnuSetting = new QMenu(QStringLiteral("设置窗口"), this);
    mnuSetting->setObjectName(QStringLiteral("mnuSetting"));
    mnuSetReturnArea = mnuSetting->addAction(QStringLiteral("设置返回结果框(&R)"));
    mnuSetReturnArea->setObjectName(QStringLiteral("mnuSetReturnArea"));
    mnuSetInputArea = mnuSetting->addAction(QStringLiteral("设置输入框(&I)"));
    mnuSetInputArea->setObjectName(QStringLiteral("mnuSetInputArea"));
    mnuSetting->addSeparator()->setObjectName(QStringLiteral("sep"));
    mnuSetSendButton = mnuSetting->addAction(QStringLiteral("设置发送按钮(&B)"));
    mnuSetSendButton->setObjectName(QStringLiteral("mnuSetSendButton"));
    mnuSettingSendShortcut = mnuSetting->addAction(QStringLiteral("设置发送快捷键(&S)"));
    mnuSettingSendShortcut->setObjectName(QStringLiteral("mnuSettingSendShortcut"));
    mnuSetting->addSeparator()->setObjectName(QStringLiteral("mnuSep2"));
    mnuHelp = mnuSetting->addAction(QStringLiteral("帮助(&H)"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuEngineSettings = mnuSetting->addAction(QStringLiteral("翻译引擎(&E)..."));
    mnuEngineSettings->setObjectName(QStringLiteral("mnuEngineSettings"));
    mnuEngineSettings->setEnabled(controller_.EngineSettingsAvailable());
    mnuInPlaceSettings = mnuSetting->addAction(QStringLiteral("就地翻译(&I)..."));
    mnuInPlaceSettings->setObjectName(QStringLiteral("mnuInPlaceSettings"));
    menu(mnuInPlaceSettings, MenuCommand::InPlaceSettings);
    menu(mnuSetReturnArea, MenuCommand::SetReturnArea);
    menu(mnuSetInputArea, MenuCommand::SetInputArea);
    menu(mnuSetSendButton, MenuCommand::SetSendButton);
    menu(mnuHelp, MenuCommand::Help);
    menu(mnuSettingSendShortcut, MenuCommand::SendShortcut);
    menu(mnuEngineSettings, MenuCommand::EngineSettings);
}

void frmMain::WirePicker(ImageControl* icon, ImageControl* pressedImage, Picker picker) {
    connect(icon, &ImageControl::moved, this,
            [this, picker] { controller_.OnPickerHover(picker); });
    connect(icon, &ImageControl::pressed, this, [pressedImage] { pressedImage->show(); });
    connect(icon, &ImageControl::released, this, [this, pressedImage, picker] {
        pressedImage->hide();
        controller_.OnPickerReleased(picker);
    });
}

}  // namespace velmora::app
