#pragma once
// The frame both transfer choosers share: borderless and on top, the caption
// bar that drags the window with its close cross, the border in the theme's
// colour, a prompt line, and the bottom panel with OK and Cancel at the
// right, painted in PanelColour each time the window is shown. The chooser
// fills Body() below the prompt.

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
    // The caption bar's and window's title, the prompt, the buttons' texts.
    void TranslateFrame(const char* captionKey, const char* promptKey);
    // OK: the chooser decides whether its choice holds (Tag := 1, close).
    virtual void OkClick() = 0;

    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

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
