#pragma once
// Menu items that the main window translates by their English key: the key
// and an untranslated suffix ("...") are kept on the action, and every
// language change sets the text again.

#include <QAction>
#include <QMenu>

namespace corvala {

inline QAction* AddTranslatedAction(QMenu* menu, const char* key, const char* suffix = "", bool enabled = true) {
    QAction* action = menu->addAction(QString::fromUtf8(key) + QString::fromUtf8(suffix));
    action->setProperty("englishKey", QString::fromUtf8(key));
    action->setProperty("suffix", QString::fromUtf8(suffix));
    action->setEnabled(enabled);
    return action;
}

inline QMenu* AddTranslatedMenu(QMenu* menu, const char* key, const char* suffix = "") {
    QMenu* sub = menu->addMenu(QString::fromUtf8(key) + QString::fromUtf8(suffix));
    sub->menuAction()->setProperty("englishKey", QString::fromUtf8(key));
    sub->menuAction()->setProperty("suffix", QString::fromUtf8(suffix));
    return sub;
}

}  // namespace corvala
