#include "screen/MonitorMenu.h"

namespace corvala {

std::array<MonitorMenuItem, MonitorMenuItems> UpdateMonitorMenu(int multipleMonitorsCount, int currentMonitor) {
    std::array<MonitorMenuItem, MonitorMenuItems> items;
    for (int i = 0; i < MonitorMenuItems; ++i) {
        items[i].Visible = i == 0 || multipleMonitorsCount >= i + 1;
        items[i].Checked = i == currentMonitor;
    }
    return items;
}

std::optional<int> MonitorFromCaption(const QString& caption) {
    QString digits = caption;
    digits.remove(u'&');
    bool ok = false;
    const int number = digits.toInt(&ok);
    if (!ok || number < 1 || number > MonitorMenuItems) return std::nullopt;
    return number - 1;
}

FullScreenMenuAction RevealFullScreenMenu(int y, bool menuVisible, int menuHeight) {
    if (y <= 4 && !menuVisible) return FullScreenMenuAction::Show;
    if (menuVisible && y > 2 * menuHeight) return FullScreenMenuAction::Hide;
    return FullScreenMenuAction::None;
}

bool PanelBackgroundRule::ShouldErase(int windowLeft, int windowTop) {
    if (!NeedToRepaintBackgroundPanel && windowLeft == PreviousLeft_ && windowTop == PreviousTop_) return false;
    PreviousLeft_ = windowLeft;
    PreviousTop_ = windowTop;
    NeedToRepaintBackgroundPanel = false;
    return true;
}

}  // namespace corvala
