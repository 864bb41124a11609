#pragma once
// The frame the transfer choosers, the credential dialogs and the
// connection windows share: borderless and on top, the caption bar that
// drags the window with its close cross, the border in the theme's colour, a
// prompt line, and the bottom panel with OK and Cancel at the right (or the
// window's own two buttons), painted in PanelColour each time the window is
// shown. The window fills Body() below the prompt.

#include <QDialog>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace corvala {

class TCaptionBar;
class TCaptionButton;

class TChooserFrame : public QDialog {
    Q_OBJECT
public:
    static constexpr int CaptionHeight = 32;
    static constexpr int BottomPanelHeight = 41;
    // The prompt line at the top of the body.
    static constexpr int PromptHeight = 33;

    // 0 when shown, 1 once OK accepted the choice.
    int Tag = 0;

protected:
    TChooserFrame(const char* objectName, QSize clientSize, QWidget* parent);

    QVBoxLayout* Body() const { return FBody; }
    // A column for a small window's own controls below the prompt, with the
    // frame's margins, taking the body's free room.
    QVBoxLayout* AddFieldColumn();
    // The caption bar's and window's title, the prompt, the buttons' texts.
    // Without a prompt key the prompt line is hidden.
    void TranslateFrame(const char* captionKey, const char* promptKey, const char* okKey = "OK",
                        const char* cancelKey = "Cancel");
    // OK: the chooser decides whether its choice holds (Tag := 1, close).
    virtual void OkClick() = 0;
    // Tag := 1 and close: what OK does once the window's choice holds.
    void Confirm();
    QPushButton* OkButton() const { return btnOK; }
    // Enter acts as OK wherever the focus is: the window sees the key
    // before its controls. Call once the controls exist.
    void EnterConfirms();

    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TCaptionBar* panCaption;
    QLabel* lblCaption;
    TCaptionButton* btnClose;
    QLabel* lblPrompt;
    QWidget* panBottom;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QVBoxLayout* FBody;
};

}  // namespace corvala
