#include "window/ControlMenu.h"

#include "window/MenuItems.h"

namespace corvala {

TControlMenu::TControlMenu(const char* monitorTitleKey, const QString& monitorPrefix, QWidget* parent)
    : QMenu(parent) {
    const auto command = [this](const char* key, int n) {
        QAction* action = AddTranslatedAction(this, key);
        action->setData(n);
        connect(action, &QAction::triggered, this, [this, n] { emit ControlCommand(n); });
    };
    command("Send Ctrl+Alt+Del", 7);
    command("Send Alt+Tab", 2);
    addSeparator();
    command("Show Remote Cursor", 8);
    command("Task Manager", 1);
    command("Make Screenshot", 3);
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
    command("Lock PC", 4);
    command("Reboot PC", 5);
    command("Shutdown PC", 6);
}

void TControlMenu::ShowMonitorItems(const std::array<MonitorMenuItem, MonitorMenuItems>& items) {
    for (int i = 0; i < MonitorMenuItems; ++i) {
        FMonitorItems[i]->setVisible(items[i].Visible);
        FMonitorItems[i]->setChecked(items[i].Checked);
    }
}

}  // namespace corvala
