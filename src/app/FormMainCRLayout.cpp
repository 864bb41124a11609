// The main window's layouts and modes: the one-way switch to the viewer
// layout, the tabs, maximise/full screen/collapse, dragging, the border
// controls, the caption and the monitor menus. The rules themselves live in
// src/window; this file applies them to the window's widgets.

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

#include "app/FormMainCR.h"
#include "app/RemoteScreenView.h"
#include "base/ProcessState.h"
#include "base/ProductInfo.h"
#include "core/AppCore.h"
#include "dialogs/FormConnectionsLog.h"
#include "i18n/Translator.h"
#include "screen/MonitorMenu.h"
#include "widgets/WindowChrome.h"
#include "window/BorderShape.h"
#include "window/ControlMenu.h"
#include "window/FullScreenMenu.h"
#include "window/TabStrip.h"
#include "window/ViewerToolbar.h"
#include "window/WindowCaption.h"
#include "window/WindowGeometry.h"

namespace corvala {

namespace {

QRect ToQRect(const WindowRect& r) { return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top); }
WindowRect ToWindowRect(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

QRect PrimaryScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

QRect PrimaryWorkArea() {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

WindowLayout CurrentLayout() { return processState().MasterMode ? WindowLayout::Viewer : WindowLayout::Host; }

}  // namespace

void TFormMainCR::CreateViewerControls() {
    auto* caption = static_cast<QHBoxLayout*>(panCaption->layout());
    // The host's caption: label, info and contact buttons, then free room.
    caption->setStretchFactor(lblCaption, 0);
    panButtonInfo = new TCaptionButton(TCaptionButton::Glyph::Info, panCaption);
    panButtonInfo->setObjectName("panButtonInfo");
    panButtonContact = new TCaptionButton(TCaptionButton::Glyph::Contact, panCaption);
    panButtonContact->setObjectName("panButtonContact");
    panButtonInfo->hide();
    panButtonContact->hide();
    int at = caption->indexOf(lblCaption);
    caption->insertSpacing(at + 1, 1);
    caption->insertWidget(at + 2, panButtonInfo);
    caption->insertWidget(at + 3, panButtonContact);
    caption->insertStretch(at + 4, 1);

    // The viewer's caption: toolbar at the left edge, the tabs filling the rest.
    pnlToolbar = new TViewerToolbar(panCaption);
    pnlToolbar->hide();
    caption->insertWidget(0, pnlToolbar);
    ATTabs1 = new TTabStrip(panCaption);
    ATTabs1->hide();
    caption->insertWidget(caption->indexOf(panButtonContact) + 2, ATTabs1, 100);

    btnCollapse = new TCaptionButton(TCaptionButton::Glyph::Collapse, panCaption);
    btnCollapse->setObjectName("btnCollapse");
    caption->insertWidget(caption->indexOf(btnHideToTray), btnCollapse);
    btnMaximize = new TCaptionButton(TCaptionButton::Glyph::Maximize, panCaption);
    btnMaximize->setObjectName("btnMaximize");
    btnFullScreen = new TCaptionButton(TCaptionButton::Glyph::FullScreen, panCaption);
    btnFullScreen->setObjectName("btnFullScreen");
    btnMaximize->hide();
    btnFullScreen->hide();
    caption->insertWidget(caption->indexOf(btnClose), btnMaximize);
    caption->insertWidget(caption->indexOf(btnClose), btnFullScreen);

    panFullScreenMenu = new TFullScreenMenu(pnlToolbar->TabSettingsMenu(), panRemoteScreens);

    for (BorderControl control : {BorderControl::Left, BorderControl::Right, BorderControl::Bottom, BorderControl::Top,
                                  BorderControl::TopLeft, BorderControl::TopRight, BorderControl::BottomLeft,
                                  BorderControl::BottomRight}) {
        auto* shape = new TBorderShape(control, this);
        connect(shape, &TBorderShape::Pressed, this, [this](BorderControl, QPoint global) { BorderPressed(global); });
        connect(shape, &TBorderShape::Moved, this, &TFormMainCR::BorderMoved);
        FBorderControls << shape;
    }

    connect(ATTabs1, &TTabStrip::TabChanged, this,
            [this](int index, const QString& tabCaption) { FCore.Tabs().TabChanging(index, tabCaption); });
    connect(ATTabs1, &TTabStrip::CloseRequested, this, &TFormMainCR::ATTabs1CloseRequested);
    connect(ATTabs1, &TTabStrip::AddClicked, this, [this] { FCore.ConnectAction(false); });
    connect(ATTabs1, &TTabStrip::Released, this, [this] {
        if (FCore.Tabs().StripReleased() && !FFullScreen) MaximizeClick();
    });
    connect(ATTabs1, &TTabStrip::DragTo, this, [this](QPoint to) { MoveWindowTo(to, true); });
    panCaption->Pressed = [this](QPoint global) { BordersMouseDownPos = global; };
    panCaption->MoveWindow = [this](QPoint to) { MoveWindowTo(to, false); };

    connect(btnMaximize, &QAbstractButton::clicked, this, &TFormMainCR::MaximizeClick);
    connect(btnFullScreen, &QAbstractButton::clicked, this, &TFormMainCR::FullScreenClick);
    connect(btnCollapse, &QAbstractButton::clicked, this, &TFormMainCR::CollapseClick);
    connect(panFullScreenMenu, &TFullScreenMenu::ExitFullScreen, this, &TFormMainCR::ExitFullScreenClick);
    ConnectTransferItems();
    for (TControlMenu* menu : {pnlToolbar->ControlMenu(), pnlToolbar->TabSettingsControlMenu()}) {
        connect(menu, &TControlMenu::ControlCommand, this, [this](int n) { FCore.SendControlCommand(n); });
        connect(menu, &TControlMenu::MonitorChosen, this, [this](const QString& item) { FCore.ChooseMonitor(item); });
    }
    // The floating menu follows the pointer over the panel and the picture.
    panRemoteScreens->setMouseTracking(true);
    panRemoteScreens->installEventFilter(this);
    imgRemoteScreen->installEventFilter(this);
    // A click on the host panel gives the window the panel's natural size.
    panHost->installEventFilter(this);
}

void TFormMainCR::TranslateViewerControls() {
    if (!ATTabs1) return;
    ATTabs1->Translate();
    pnlToolbar->Translate();
    UpdateWindowCaption();
}

bool TFormMainCR::Maximized() const { return FCore.AppSettings().Maximized; }

void TFormMainCR::SwitchToViewerLayout() {
    panHost->hide();
    panButtonInfo->hide();
    panButtonContact->hide();
    lblCaption->hide();
    btnCollapse->hide();
    btnHideToTray->hide();
    ATTabs1->show();
    btnMinimize->show();
    btnMaximize->show();
    btnFullScreen->show();
    btnClose->show();
    ShowBorderControls(true);
    for (const char* key : {"Set Password", "Set Whitelist", "Set Display Name", "Allow only viewing"})
        if (QAction* action = MenuAction(key)) action->setVisible(false);
    setMinimumSize(MinimumViewerWindow);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    SetWindowPositions();
}

void TFormMainCR::ShowBorderControls(bool visible) {
    for (TBorderShape* shape : FBorderControls) shape->setVisible(visible);
    PlaceBorderControls();
}

void TFormMainCR::PlaceBorderControls() {
    for (TBorderShape* shape : FBorderControls) shape->PlaceOn(rect());
}

void TFormMainCR::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceBorderControls();
}

void TFormMainCR::SetWindowPositions() {
    WindowPositionsInput in;
    in.Layout = CurrentLayout();
    in.Maximized = Maximized();
    in.Collapsed = FCollapsed;
    in.MasterModeWindowRect = ToQRect(FCore.AppSettings().MasterModeWindowRect);
    in.WorkArea = PrimaryWorkArea();
    in.CaptionBarHeight = TCaptionBar::Height;
    const QMargins margins = layout()->contentsMargins();
    in.TopStripHeight = margins.top() + margins.bottom();
    // The panel's labels wrap: its height follows its width.
    in.HostPanelHeight = panHost->hasHeightForWidth() ? panHost->heightForWidth(panHost->width())
                                                      : panHost->sizeHint().height();
    const WindowPositions out = corvala::SetWindowPositions(in);
    if (out.Bounds) {
        setGeometry(*out.Bounds);
        btnMaximize->SetGlyph(out.Picture == CaptionPicture::Restore ? TCaptionButton::Glyph::Restore
                                                                       : TCaptionButton::Glyph::Maximize);
        FCore.UpdateAliveButton();
        // The picture lays itself out again on its new size.
        panRemoteScreens->update();
        return;
    }
    panHost->setVisible(!FCollapsed);
    btnCollapse->SetGlyph(out.Picture == CaptionPicture::Expand ? TCaptionButton::Glyph::Expand
                                                                 : TCaptionButton::Glyph::Collapse);
    setFixedHeight(*out.ClientHeight);
    if (out.Top) move(x(), *out.Top);
}

void TFormMainCR::CollapseClick() {
    FCollapsed = !FCollapsed;
    SetWindowPositions();
}

void TFormMainCR::CollapseForSession() {
    if (isMinimized()) showNormal();
    if (!FCollapsed) {
        FCollapsed = true;
        SetWindowPositions();
    }
    UpdateWindowCaption();
}

void TFormMainCR::ExpandAfterSessions() {
    if (!FCollapsed || processState().MasterMode) return;
    FCollapsed = false;
    SetWindowPositions();
}

void TFormMainCR::MaximizeClick() {
    FCore.AppSettings().Maximized = !FCore.AppSettings().Maximized;
    SetWindowPositions();
}

void TFormMainCR::FullScreenClick() {
    FFullScreen = true;
    FCore.AppSettings().Maximized = true;
    panCaption->hide();
    ShowBorderControls(false);
    layout()->setContentsMargins(0, 0, 0, 0);
    SetWindowPositions();
}

void TFormMainCR::ExitFullScreenClick() {
    FFullScreen = false;
    FCore.AppSettings().Maximized = false;
    panCaption->show();
    ShowBorderControls(true);
    const int border = processState().Theme.BorderWidth;
    layout()->setContentsMargins(border, border, border, border);
    panFullScreenMenu->hide();
    SetWindowPositions();
}

void TFormMainCR::MoveWindowTo(QPoint wantedTopLeft, bool byTabStrip) {
    const WindowLayout layout = CurrentLayout();
    if (byTabStrip && layout != WindowLayout::Viewer) return;
    const auto to = DragWindow(layout, Maximized(), geometry(), wantedTopLeft, PrimaryScreen());
    if (!to) return;
    move(*to);
    if (layout == WindowLayout::Viewer) StoreMasterModeWindowRect();
}

void TFormMainCR::BorderPressed(QPoint global) {
    BordersMouseDownPos = global;
    FBoundsAtPress = geometry();
}

void TFormMainCR::BorderMoved(BorderControl control, QPoint global) {
    const auto bounds =
        ResizeByBorder(control, FBoundsAtPress, global - BordersMouseDownPos, CurrentLayout(), Maximized());
    if (!bounds) return;
    setGeometry(*bounds);
    StoreMasterModeWindowRect();
    FCore.UpdateAliveButton();
}

void TFormMainCR::StoreMasterModeWindowRect() {
    FCore.AppSettings().MasterModeWindowRect = ToWindowRect(geometry());
}

void TFormMainCR::AddTab(const QString& caption, const QString&) {
    panRemoteScreens->show();
    pnlToolbar->show();
    ATTabs1->AddTab(caption);
}

bool TFormMainCR::SelectTab(const QString& id) { return ATTabs1->SelectTabOfPeer(id); }

void TFormMainCR::HideToolbar() { pnlToolbar->hide(); }

void TFormMainCR::ATTabs1CloseRequested(int index) {
    if (!FCore.Tabs().CloseActiveTab()) return;
    ATTabs1->RemoveTab(index);
    // A tab chosen while the close pumped messages stays the viewed one even
    // when removing the closed tab left the bar's index as it was.
    const int current = ATTabs1->CurrentIndex();
    if (current >= 0 && FCore.Rtc().CurrentViewingPeerID().isEmpty())
        FCore.Tabs().TabChanging(current, ATTabs1->Caption(current));
    UpdateWindowCaption();
}

void TFormMainCR::UpdateWindowCaption() {
    CaptionPeerCount = FCore.PeerCount();
    const WindowCaption caption =
        ComposeWindowCaption(CaptionPeerCount, FCore.AppSettings().AllowOnlyViewing, ProductName, VersionText());
    lblCaption->setText(caption.Text);
    const bool host = !processState().MasterMode;
    panButtonInfo->setVisible(host && caption.ShowInfoButtons);
    panButtonContact->setVisible(host && caption.ShowInfoButtons);
    if (frmConnectionsLog) frmConnectionsLog->SetPeersConnected(CaptionPeerCount > 0);
    lblCaption->adjustSize();
    lblCaption->update();
}

void TFormMainCR::ShowMonitorItems(const std::array<MonitorMenuItem, MonitorMenuItems>& items) {
    pnlToolbar->ControlMenu()->ShowMonitorItems(items);
    pnlToolbar->TabSettingsControlMenu()->ShowMonitorItems(items);
}

void TFormMainCR::RevealFullScreenMenu(int y) {
    if (!FFullScreen) return;
    switch (corvala::RevealFullScreenMenu(y, panFullScreenMenu->isVisible(), panFullScreenMenu->height())) {
        case FullScreenMenuAction::Show:
            panFullScreenMenu->move(PrimaryScreen().width() - panFullScreenMenu->width(), 0);
            panFullScreenMenu->show();
            panFullScreenMenu->raise();
            panRemoteScreens->update();
            break;
        case FullScreenMenuAction::Hide:
            panFullScreenMenu->hide();
            panRemoteScreens->update();
            break;
        case FullScreenMenuAction::None: break;
    }
}

bool TFormMainCR::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == panRemoteScreens) PlaceAliveControls();
    if (event->type() == QEvent::MouseButtonRelease && watched == lblContact &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        ContactClick();
    if (event->type() == QEvent::MouseMove && (watched == panRemoteScreens || watched == imgRemoteScreen)) {
        auto* e = static_cast<QMouseEvent*>(event);
        const QPoint inPanel = static_cast<QWidget*>(watched)->mapTo(panRemoteScreens, e->position().toPoint());
        RevealFullScreenMenu(inPanel.y());
    }
    if (event->type() == QEvent::MouseButtonPress && watched == panHost && !processState().MasterMode) {
        // The panel's natural size, e.g. after the window was squeezed.
        setFixedWidth(panHost->sizeHint().width() + layout()->contentsMargins().left() +
                      layout()->contentsMargins().right());
        FCollapsed = false;
        SetWindowPositions();
    }
    return QWidget::eventFilter(watched, event);
}

void TFormMainCR::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    // A host with connected viewers stays visible.
    if (!processState().MasterMode && CaptionPeerCount > 0 && (windowState() & Qt::WindowMinimized)) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        showNormal();
    }
}

}  // namespace corvala
