#pragma once
// A modal window in the program's frame style: a caption bar with the title
// and a close cross, a white body below it, the theme's border around both.
// The welcome, About and review windows are made of it.

#include <QDialog>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace corvala {

class TThemedDialog : public QDialog {
    Q_OBJECT
public:
    TThemedDialog(const QString& title, QWidget* parent = nullptr);

    // Where the window's content goes.
    QVBoxLayout* Body() const { return FBody; }
    // A button in the accent colours (the connect button's look).
    QPushButton* AddAccentButton(const QString& caption, QWidget* parent);
    // Centred on the primary screen at its natural size, then modal.
    int ExecCentred();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QVBoxLayout* FBody;
};

// The style sheet of a button in the accent colours.
QString AccentButtonStyle();

}  // namespace corvala
