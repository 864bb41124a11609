#pragma once
// The program's own message box: every message and yes/no question goes
// through ShowAppMessage, drawn in the program's frame style with the theme
// colours (ProcessState().Theme) instead of the system's box.
//
// Answers: ShowAppMessage returns true only for a modal Confirm box closed
// with its "OK"; every other case (Cancel, the close cross, Escape, a
// non-modal box, any other kind) is false. The Information box has a single
// button captioned "OK" that answers like Cancel.
//
// Captions and buttons are translated here; the caller passes the message
// text already translated and formatted. Before the language table is built
// they stay English.
//
// Automated runs (no human to press buttons):
//   CORVALA_MESSAGE_LOG=<file>   every box appends one UTF-8 line
//                                "<Kind><TAB><text>" to the file, Kind being
//                                Warning, Error, Confirm or Information; line
//                                breaks of the text are written as "\n".
//   CORVALA_AUTO_ANSWER=ok|cancel  no box is shown: modal boxes answer at once
//                                as if that button were pressed (Information's
//                                button answers like Cancel either way) and
//                                non-modal boxes close at once.

#include <QDialog>
#include <QString>

#include "base/MessageKind.h"

class QLabel;
class QPushButton;
class QWidget;

namespace corvala {

class TCaptionButton;

class TFormMessage : public QDialog {
    Q_OBJECT
public:
    static constexpr int CaptionHeight = 32;
    static constexpr int CloseButtonWidth = 37;
    static constexpr int CloseButtonHeight = 30;
    static constexpr int IconSize = 29;
    static constexpr int ButtonWidth = 75;
    static constexpr int ButtonHeight = 25;
    static constexpr int ClientWidth = 420;
    static constexpr int Margin = 16;  // body edge to icon, icon to text
    static constexpr int ButtonGap = 8;

    explicit TFormMessage(QWidget* parent = nullptr);

    // Caption, icon, buttons and text for the kind; lays the window out.
    void setMessage(MessageKind kind, const QString& text);

    MessageKind kind() const { return FKind; }
    // 0 when shown; 1 after "OK" of a Warning, Error or Confirm box.
    int answer() const { return FAnswer; }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyTheme();
    void layOut();
    void answerWith(int answer);

    MessageKind FKind = MessageKind::Warning;
    int FAnswer = 0;
    QWidget* FCaptionBar;
    QLabel* FCaptionLabel;
    TCaptionButton* FCloseButton;
    QWidget* FBody;
    QLabel* FIcon;
    QLabel* FMessage;
    QWidget* FBottomPanel;
    QPushButton* FButtonOK;
    QPushButton* FButtonCancel;
    QPoint FDragStartMouse;
    QPoint FDragStartWindow;
    bool FDragging = false;
};

// Shows a fresh box. Modal: returns when it closes, with the answer above.
// Non-modal: returns false at once; the box frees itself when closed.
bool ShowAppMessage(bool modal, MessageKind kind, const QString& text);

// Automated runs: the status texts the main window shows over the remote
// picture ("Please wait...", "No signal.", in English) go to
// CORVALA_MESSAGE_LOG too, as "Status<TAB><text>" lines.
void LogStatusText(const QString& text);

// "Warning", "Error", "Confirm", "Information": the kind's name in the log.
QString messageKindName(MessageKind kind);

}  // namespace corvala
