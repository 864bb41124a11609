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
#include "app/ProcessState.h"
#include "app/ProductInfo.h"
#include "app/RemoteControl.h"
#include "app/RemoteScreenView.h"
#include "app/WindowChrome.h"
#include "i18n/Translator.h"
#include "media/WebrtcClientVcl.h"
#include "screen/MonitorMenu.h"
#include "session/SessionSetup.h"
#include "window/BorderShape.h"
#include "window/ControlMenu.h"
#include "window/FullScreenMenu.h"
#include "window/TabController.h"
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

    TabHooks tabs;
    tabs.CloseVoiceWindow = [] {};  // the voice window arrives with voice
    tabs.ClearPressedKeys = [this] {
        if (FRemote) FRemote->Viewer().ClearPressedKeys();
    };
    tabs.CurrentViewingPeerID = [this] { return rtcClient ? rtcClient->CurrentViewingPeerID() : QString(); };
    tabs.SetCurrentViewingPeerID = [this](const QString& id) {
        if (rtcClient) rtcClient->SetCurrentViewingPeerID(id);
    };
    tabs.ResetFrameWatch = [this] {
        if (FRemote) FRemote->FrameDrawn();
    };
    tabs.UpdateMonitorMenu = [this] { UpdateMonitorMenu(); };
    tabs.UpdateAliveButton = [this] { UpdateAliveButton(); };
    tabs.SendMessageToPeer = [this](const QString& id, const QString& text) {
        if (FRemote) FRemote->Messenger().SendMessageToPeer(id, text);
    };
    tabs.PumpMessages = [this](int ms) { PumpMessages(ms); };
    tabs.EndCall = [this](const QString& id) {
        if (rtcClient) rtcClient->EndCall(id);
    };
    tabs.PeerCount = [this] { return rtcClient ? rtcClient->Peers.Count() : 0; };
    tabs.HideToolbar = [this] { pnlToolbar->hide(); };
    tabs.RefreshChatRecipients = [] {};  // the chat window arrives with chat
    FTabs = std::make_unique<TabController>(tabs);

    connect(ATTabs1, &TTabStrip::TabChanged, this,
            [this](int index, const QString& tabCaption) { FTabs->TabChanging(index, tabCaption); });
    connect(ATTabs1, &TTabStrip::CloseRequested, this, &TFormMainCR::ATTabs1CloseRequested);
    connect(ATTabs1, &TTabStrip::AddClicked, this, [this] {
        if (FSession) FSession->ConnectAction(false);
    });
    connect(ATTabs1, &TTabStrip::Released, this, [this] {
        if (FTabs->StripReleased() && !FFullScreen) MaximizeClick();
    });
    connect(ATTabs1, &TTabStrip::DragTo, this, [this](QPoint to) { MoveWindowTo(to, true); });
    panCaption->Pressed = [this](QPoint global) { BordersMouseDownPos = global; };
    panCaption->MoveWindow = [this](QPoint to) { MoveWindowTo(to, false); };

    connect(btnMaximize, &QAbstractButton::clicked, this, &TFormMainCR::MaximizeClick);
    connect(btnFullScreen, &QAbstractButton::clicked, this, &TFormMainCR::FullScreenClick);
    connect(btnCollapse, &QAbstractButton::clicked, this, &TFormMainCR::CollapseClick);
    connect(panFullScreenMenu, &TFullScreenMenu::ExitFullScreen, this, &TFormMainCR::ExitFullScreenClick);
    for (TControlMenu* menu : {pnlToolbar->ControlMenu(), pnlToolbar->TabSettingsControlMenu()}) {
        connect(menu, &TControlMenu::ControlCommand, this, [this](int n) {
            if (FRemote) FRemote->Viewer().SendControlCommand(n);
        });
        connect(menu, &TControlMenu::MonitorChosen, this, &TFormMainCR::MIMonitor1Click);
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

bool TFormMainCR::Maximized() const { return FSettings && FSettings->Maximized; }

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
    if (FSettings) in.MasterModeWindowRect = ToQRect(FSettings->MasterModeWindowRect);
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
        UpdateAliveButton();
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
    FSettings->Maximized = !FSettings->Maximized;
    SetWindowPositions();
}

void TFormMainCR::FullScreenClick() {
    FFullScreen = true;
    FSettings->Maximized = true;
    panCaption->hide();
    ShowBorderControls(false);
    layout()->setContentsMargins(0, 0, 0, 0);
    SetWindowPositions();
}

void TFormMainCR::ExitFullScreenClick() {
    FFullScreen = false;
    FSettings->Maximized = false;
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
    UpdateAliveButton();
}

void TFormMainCR::StoreMasterModeWindowRect() {
    if (FSettings) FSettings->MasterModeWindowRect = ToWindowRect(geometry());
}

void TFormMainCR::AddTab(const QString& caption, const QString& id) {
    panRemoteScreens->show();
    pnlToolbar->show();
    ATTabs1->AddTab(caption);
    // Selecting the new tab ran the change query; the session's own peer wins
    // should the caption hold no ID.
    rtcClient->SetCurrentViewingPeerID(id);
    UpdateWindowCaption();
}

void TFormMainCR::SelectTab(const QString& id) {
    if (!ATTabs1->SelectTabOfPeer(id)) rtcClient->SetCurrentViewingPeerID(id);
}

void TFormMainCR::ATTabs1CloseRequested(int index) {
    if (!FTabs->CloseActiveTab()) return;
    ATTabs1->RemoveTab(index);
    // A tab chosen while the close pumped messages stays the viewed one even
    // when removing the closed tab left the bar's index as it was.
    const int current = ATTabs1->CurrentIndex();
    if (current >= 0 && rtcClient->CurrentViewingPeerID().isEmpty())
        FTabs->TabChanging(current, ATTabs1->Caption(current));
    UpdateWindowCaption();
}

void TFormMainCR::UpdateWindowCaption() {
    if (!lblCaption || !FSettings) return;
    CaptionPeerCount = rtcClient ? rtcClient->Peers.Count() : 0;
    const WindowCaption caption =
        ComposeWindowCaption(CaptionPeerCount, FSettings->AllowOnlyViewing, ProductName, VersionText());
    lblCaption->setText(caption.Text);
    const bool host = !processState().MasterMode;
    panButtonInfo->setVisible(host && caption.ShowInfoButtons);
    panButtonContact->setVisible(host && caption.ShowInfoButtons);
    lblCaption->adjustSize();
    lblCaption->update();
}

void TFormMainCR::UpdateMonitorMenu() {
    if (processState().EventsSuspended || !rtcClient || !pnlToolbar) return;
    auto peer = rtcClient->Peers.Find(rtcClient->CurrentViewingPeerID());
    if (!peer) return;
    const auto items = corvala::UpdateMonitorMenu(peer->MultipleMonitorsCount, peer->CurrentMonitor);
    pnlToolbar->ControlMenu()->ShowMonitorItems(items);
    pnlToolbar->TabSettingsControlMenu()->ShowMonitorItems(items);
}

void TFormMainCR::MIMonitor1Click(const QString& caption) {
    if (processState().EventsSuspended || !rtcClient) return;
    auto peer = rtcClient->Peers.Find(rtcClient->CurrentViewingPeerID());
    const auto monitor = MonitorFromCaption(caption);
    if (!peer || !monitor) return;
    // The host is not told: the next frame is drawn from the other region.
    peer->CurrentMonitor = *monitor;
    UpdateMonitorMenu();
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
