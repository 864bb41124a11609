#pragma once
// The viewer's "Control..." menu: the host's system commands by number and
// the monitor submenu "1" to "9". The toolbar and the tab settings menu each
// hold one; their monitor submenus differ only in title.

#include <QMenu>

#include <array>

#include "screen/MonitorMenu.h"

namespace corvala {

class TControlMenu : public QMenu {
    Q_OBJECT
public:
    // `monitorTitleKey`: "Monitor" in the toolbar, "Select Monitor" in the
    // settings menu. `monitorPrefix` names the items (MIMonitor1, MI_1, ...).
    TControlMenu(const char* monitorTitleKey, const QString& monitorPrefix, QWidget* parent);

    void ShowMonitorItems(const std::array<MonitorMenuItem, MonitorMenuItems>& items);
    QAction* MonitorItem(int index) const { return FMonitorItems[index]; }

signals:
    // CONTROL + n to the viewed host.
    void ControlCommand(int n);
    // MIMonitor1Click with the chosen item's caption.
    void MonitorChosen(const QString& caption);

private:
    std::array<QAction*, MonitorMenuItems> FMonitorItems{};
};

}  // namespace corvala
