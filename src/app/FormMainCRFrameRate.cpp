// The settings menu's "Frame rate" submenu: a view of the core's choice, one
// checkable item per offered rate. The core keeps and stores the choice.

#include <QActionGroup>
#include <QMenu>

#include "app/FormMainCR.h"
#include "core/AppCore.h"
#include "i18n/Translator.h"

namespace corvala {

void TFormMainCR::BuildFrameRateMenu() {
    QMenu* menu = mnuSettings->addMenu(QString());
    menu->setObjectName("mnuFrameRate");
    menu->menuAction()->setProperty("englishKey", TranslationKey("Frame rate"));
    auto* group = new QActionGroup(menu);
    for (const int rate : FrameRateChoice::Rates) {
        const QString number = QString::number(rate);
        QAction* item = menu->addAction(number);
        if (rate == FrameRateChoice::DefaultRate) {
            // Translated with the window's other items (TranslateWindow).
            item->setProperty("englishKey", TranslationKey("%s (default)"));
            item->setProperty("formatWith", number);
        }
        item->setCheckable(true);
        item->setData(rate);
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, rate] { FCore.ChooseFrameRate(rate); });
    }
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        for (QAction* item : menu->actions()) item->setChecked(item->data().toInt() == FCore.FrameRate());
    });
}

}  // namespace corvala
