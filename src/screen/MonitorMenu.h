#pragma once
// The viewer's monitor menus ("1" to "9", in the control menu and in the
// tab's settings menu), the floating full-screen menu's show/hide rule and
// the panel's flicker-free background rule. Decisions only; the main window
// applies them to its widgets.

#include <QString>

#include <array>
#include <optional>

namespace corvala {

inline constexpr int MonitorMenuItems = 9;

struct MonitorMenuItem {
    bool Visible = false;
    bool Checked = false;
    friend bool operator==(const MonitorMenuItem&, const MonitorMenuItem&) = default;
};

// Item i (0-based) stands for monitor i + 1. Item 1 always stays; items 2-9
// show when the host has at least that many monitors; exactly the item of
// `currentMonitor` is checked. The same state applies to both menus.
std::array<MonitorMenuItem, MonitorMenuItems> UpdateMonitorMenu(int multipleMonitorsCount, int currentMonitor);

// MIMonitor1Click: the peer's new CurrentMonitor from the item's caption
// ("1" to "9"; Qt may have added an accelerator "&"); nothing for other text.
std::optional<int> MonitorFromCaption(const QString& caption);

enum class FullScreenMenuAction { None, Show, Hide };

// RevealFullScreenMenu with the pointer's Y in panel coordinates, only called
// while the caption is hidden. Show places the menu at the panel's top with
// left = primary screen width - menu width; both Show and Hide also set
// NeedToRepaintBackgroundPanel and repaint the panel.
FullScreenMenuAction RevealFullScreenMenu(int y, bool menuVisible, int menuHeight);

// The panel lets an erase-background request through only after a real
// change: the flag was set or the window moved since the last erase.
class PanelBackgroundRule {
public:
    bool NeedToRepaintBackgroundPanel = false;
    // True: erase now (the position is remembered and the flag cleared);
    // false: answer the request as done without erasing.
    bool ShouldErase(int windowLeft, int windowTop);

private:
    int PreviousLeft_ = 0;
    int PreviousTop_ = 0;
};

}  // namespace corvala
