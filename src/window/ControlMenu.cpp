#include "window/ControlMenu.h"

#include "i18n/Translator.h"
#include "window/MenuItems.h"

namespace corvala {

TControlMenu::TControlMenu(const char* monitorTitleKey, const QString& monitorPrefix, QWidget* parent)
    : QMenu(parent) {
    const auto command = [this](const char* key, int n) {
        QAction* action = AddTranslatedAction(this, key);
        action->setData(n);
        connect(action, &QAction::triggered, this, [this, n] { emit ControlCommand(n); });
    };
    command(TranslationKey("Send Ctrl+Alt+Del"), 7);
    command(TranslationKey("Send Alt+Tab"), 2);
    addSeparator();
    command(TranslationKey("Show Remote Cursor"), 8);
    command(TranslationKey("Task Manager"), 1);
    command(TranslationKey("Make Screenshot"), 3);
    addSeparator();
    QMenu* monitors = AddTranslatedMenu(this, monitorTitleKey);
    for (int i = 0; i < MonitorMenuItems; ++i) {
        QAction* item = monitors->addAction(QString::number(i + 1));
        item->setObjectName(monitorPrefix + QString::number(i + 1));
        item->setCheckable(true);
        item->setVisible(i == 0);
        connect(item, &QAction::triggered, this, [this, item] {
            // A checkable item toggles itself; the peer's choice decides.
            emit MonitorChosen(item->text());
        });
        FMonitorItems[i] = item;
    }
    addSeparator();
    command(TranslationKey("Lock PC"), 4);
    command(TranslationKey("Reboot PC"), 5);
    command(TranslationKey("Shutdown PC"), 6);
}

void TControlMenu::ShowMonitorItems(const std::array<MonitorMenuItem, MonitorMenuItems>& items) {
    for (int i = 0; i < MonitorMenuItems; ++i) {
        FMonitorItems[i]->setVisible(items[i].Visible);
        FMonitorItems[i]->setChecked(items[i].Checked);
    }
}

}  // namespace corvala
