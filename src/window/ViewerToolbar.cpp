#include "window/ViewerToolbar.h"

#include <QHBoxLayout>

#include "base/ProcessState.h"
#include "widgets/WindowChrome.h"
#include "i18n/Translator.h"
#include "window/ControlMenu.h"
#include "window/MenuItems.h"

namespace corvala {

TViewerToolbar::TViewerToolbar(QWidget* parent) : QWidget(parent) {
    setObjectName("pnlToolbar");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 6, 0);
    layout->setSpacing(0);
    const ThemeColours& theme = processState().Theme;
    setStyleSheet(QString("QToolButton { color: %1; background: transparent; border: none; padding: 0; }"
                          "QToolButton:hover { background: %2; }"
                          "QToolButton:disabled { color: %3; }"
                          "QToolButton::menu-indicator { image: none; }")
                      .arg(ToQColor(theme.CaptionTextColour).name(), ToQColor(theme.CaptionButtonHoverColour).name(),
                           ToQColor(theme.DisabledButtonColour).name()));

    btnFileTransfer = AddButton("btnFileTransfer");
    auto* transferMenu = new QMenu(this);
    AddFileTransferItems(transferMenu);
    btnFileTransfer->setMenu(transferMenu);
    btnSendMessage = AddButton("btnSendMessage");
    btnSpeak = AddButton("btnSpeak");
    connect(btnSendMessage, &QToolButton::clicked, this, [this] { emit SendMessageClicked(true); });
    connect(btnSpeak, &QToolButton::clicked, this, &TViewerToolbar::SpeakClicked);
    btnControl = AddButton("btnControl");
    FControlMenu = new TControlMenu(TranslationKey("Monitor"), "MIMonitor", this);
    btnControl->setMenu(FControlMenu);

    FTabSettingsMenu = new QMenu(this);
    FTabSettingsMenu->setObjectName("mnuTabSettings");
    AddFileTransferItems(AddTranslatedMenu(FTabSettingsMenu, TranslationKey("File Transfer"), "..."));
    connect(AddTranslatedAction(FTabSettingsMenu, TranslationKey("Send Message"), "..."), &QAction::triggered, this,
            [this] { emit SendMessageClicked(false); });
    connect(AddTranslatedAction(FTabSettingsMenu, TranslationKey("Speak"), "..."), &QAction::triggered, this,
            &TViewerToolbar::SpeakClicked);
    FTabSettingsControl = new TControlMenu(TranslationKey("Select Monitor"), "MI_", FTabSettingsMenu);
    FTabSettingsControl->menuAction()->setProperty("englishKey", TranslationKey("Control"));
    FTabSettingsControl->menuAction()->setProperty("suffix", "...");
    FTabSettingsMenu->addMenu(FTabSettingsControl);
    Translate();
}

QToolButton* TViewerToolbar::AddButton(const char* objectName) {
    auto* button = new QToolButton(this);
    button->setObjectName(objectName);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setFocusPolicy(Qt::NoFocus);
    button->setFixedHeight(TCaptionBar::Height);
    layout()->addWidget(button);
    return button;
}

void TViewerToolbar::AddFileTransferItems(QMenu* menu) {
    connect(AddTranslatedAction(menu, TranslationKey("Send File"), "..."), &QAction::triggered, this, &TViewerToolbar::SendFileClicked);
    connect(AddTranslatedAction(menu, TranslationKey("Receive File"), "..."), &QAction::triggered, this,
            &TViewerToolbar::ReceiveFileClicked);
}

void TViewerToolbar::Translate() {
    btnFileTransfer->setText(translate("File Transfer"));
    btnSendMessage->setText(translate("Send Message") + "...");
    btnSpeak->setText(translate("Speak") + "...");
    btnControl->setText(translate("Control") + "...");
    // Each button is as wide as its caption followed by four spaces.
    for (QToolButton* button : {btnFileTransfer, btnSendMessage, btnSpeak, btnControl})
        button->setFixedWidth(button->fontMetrics().horizontalAdvance(button->text() + "    "));
}

}  // namespace corvala
