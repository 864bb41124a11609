// The main window's companions: the chat and voice windows it places below
// its caption, the host's contact menu ("Send Message", "Speak") and the
// host panel's copy icon. What they do is the core's (chat, voice and
// clipboard sharing); this file only shows them and forwards the clicks.

#include <QAbstractButton>
#include <QMenu>

#include "app/CopyIcon.h"
#include "app/FormMainCR.h"
#include "base/ProcessState.h"
#include "core/AppCore.h"
#include "dialogs/FormChat.h"
#include "dialogs/FormSpeak.h"
#include "widgets/WindowChrome.h"
#include "window/MenuItems.h"
#include "window/ViewerToolbar.h"

namespace corvala {

void TFormMainCR::CreateCompanionWindows() {
    frmChat = new TFormChat(this);
    frmChat->SendLine = [this](const QString& recipient, const QString& line) {
        return FCore.SendChatLine(recipient, line);
    };
    frmSpeak = new TFormSpeak(this);
    frmSpeak->Closed = [this] { FCore.VoiceWindowClosed(); };

    connect(pnlToolbar, &TViewerToolbar::SendMessageClicked, this,
            [this](bool fromToolbar) { FCore.OpenChat(fromToolbar); });
    connect(pnlToolbar, &TViewerToolbar::SpeakClicked, this, [this] { FCore.Speak1Click(); });

    mnuContact = new QMenu(this);
    mnuContact->setObjectName("mnuContact");
    connect(AddTranslatedAction(mnuContact, "Send Message"), &QAction::triggered, this,
            [this] { FCore.OpenChat(false); });
    connect(AddTranslatedAction(mnuContact, "Speak"), &QAction::triggered, this, [this] { FCore.Speak1Click(); });
    connect(panButtonContact, &QAbstractButton::clicked, this,
            [this] { mnuContact->popup(panButtonContact->mapToGlobal(QPoint(0, panButtonContact->height()))); });

    ImageCopy = new TCopyIcon(
        lblId, lblPassword, FCore.Timers().TimerCopyImagehider,
        [this] { return FCore.AppSettings().RandomPasswordMode; },
        [this](bool password) { FCore.CopyIdentity(password); }, panHost);
}

void TFormMainCR::TranslateCompanionWindows() {
    frmChat->Translate();
    ImageCopy->Translate();
}

QRect TFormMainCR::CompanionPlacement(int& captionBottom) const {
    captionBottom = panCaption->mapTo(this, QPoint(0, panCaption->height())).y();
    return geometry();
}

bool TFormMainCR::ChatWindowShowing() const { return frmChat->isVisible(); }

void TFormMainCR::ShowChatWindow(bool clearMessageLine) {
    if (clearMessageLine) frmChat->ClearMessageLine();
    int captionBottom = 0;
    const QRect frame = CompanionPlacement(captionBottom);
    frmChat->PlaceBelowCaption(frame, captionBottom, frame.width());
    frmChat->show();
    frmChat->raise();
    frmChat->activateWindow();
}

void TFormMainCR::CloseChatWindow() { frmChat->hide(); }

void TFormMainCR::AppendChatLine(const ChatLine& line) { frmChat->AppendLine(line); }

void TFormMainCR::ShowChatRecipients(const ChatRecipients& recipients) { frmChat->ShowRecipients(recipients); }

QString TFormMainCR::ChatRecipient() const { return frmChat->Recipient(); }

bool TFormMainCR::VoiceWindowShowing() const { return frmSpeak->isVisible(); }

void TFormMainCR::ShowVoiceWindow(const QString& caption) {
    int captionBottom = 0;
    const QRect frame = CompanionPlacement(captionBottom);
    // A host's voice window spans its narrow window.
    const int width = processState().MasterMode ? 0 : frame.width();
    frmSpeak->PlaceBelowCaption(frame, captionBottom, frame.width(), width);
    frmSpeak->ShowWithCaption(caption);
}

void TFormMainCR::CloseVoiceWindow() {
    if (frmSpeak->isVisible()) frmSpeak->close();
}

}  // namespace corvala
