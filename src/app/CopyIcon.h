#pragma once
// The host panel's copy icon (ImageCopy): it appears at the right edge of
// the ID label, or of the password label while the password is a random
// one, and a click puts that value on this computer's clipboard without
// sending it to peers. TimerCopyImagehider hides it a moment after the
// pointer has left both the label and the icon.

#include <QLabel>
#include <QTimer>

#include <functional>

namespace corvala {

enum class TCursorIsUnder { cuNone, cuID, cuPassword };

class TCopyIcon : public QLabel {
    Q_OBJECT
public:
    enum class Picture { Normal, Hover, Pressed };

    // `hider`: TimerCopyImagehider (300 ms). `randomPassword`: whether the
    // password label offers the icon. `copy`: the click, with true for the
    // password.
    TCopyIcon(QLabel* idLabel, QLabel* passwordLabel, QTimer* hider, std::function<bool()> randomPassword,
              std::function<void(bool password)> copy, QWidget* parent);

    TCursorIsUnder CursorIsUnder() const { return FCursorIsUnder; }
    Picture ShownPicture() const { return FPicture; }
    void Translate();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowAt(QLabel* label, TCursorIsUnder under);
    void SetPicture(Picture picture);

    QLabel* FIdLabel;
    QLabel* FPasswordLabel;
    QTimer* FHider;
    std::function<bool()> FRandomPassword;
    std::function<void(bool)> FCopy;
    TCursorIsUnder FCursorIsUnder = TCursorIsUnder::cuNone;
    Picture FPicture = Picture::Normal;
};

}  // namespace corvala
