#include "window/FullScreenMenu.h"

#include <QHBoxLayout>
#include <QMenu>

#include "base/ProcessState.h"
#include "widgets/WindowChrome.h"

namespace corvala {

TFullScreenMenu::TFullScreenMenu(QMenu* tabSettingsMenu, QWidget* parent) : QFrame(parent) {
    setObjectName("panFullScreenMenu");
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, ToQColor(processState().Theme.CaptionColour));
    setPalette(colours);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    btnSettings = new TCaptionButton(TCaptionButton::Glyph::Menu, this);
    btnSettings->setObjectName("btnFullScreenSettings");
    btnExitFullScreen = new TCaptionButton(TCaptionButton::Glyph::Restore, this);
    btnExitFullScreen->setObjectName("btnExitFullScreen");
    layout->addWidget(btnSettings);
    layout->addWidget(btnExitFullScreen);
    setFixedSize(2 * TCaptionButton::Width, TCaptionButton::Height);
    connect(btnExitFullScreen, &QAbstractButton::clicked, this, &TFullScreenMenu::ExitFullScreen);
    connect(btnSettings, &QAbstractButton::clicked, this,
            [this, tabSettingsMenu] { tabSettingsMenu->popup(mapToGlobal(QPoint(0, height()))); });
    hide();
}

}  // namespace corvala
