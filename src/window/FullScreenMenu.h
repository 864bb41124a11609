#pragma once
// The floating menu of the full-screen state: it drops in at the top of the
// remote picture when the pointer reaches the top rows, with a button that
// leaves full screen and one that opens the tab settings menu below it.

#include <QFrame>

class QMenu;

namespace corvala {

class TCaptionButton;

class TFullScreenMenu : public QFrame {
    Q_OBJECT
public:
    TFullScreenMenu(QMenu* tabSettingsMenu, QWidget* parent);

signals:
    void ExitFullScreen();

private:
    TCaptionButton* btnExitFullScreen;
    TCaptionButton* btnSettings;
};

}  // namespace corvala
