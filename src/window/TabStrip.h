#pragma once
// The tab strip that fills the viewer's caption bar: the connection tabs,
// the "+" button that starts a new connection and the tabs-list button.
// It forwards what the user does; the window decides (a close is only done
// when the window accepts it).

#include <QPoint>
#include <QWidget>

class QToolButton;
class QMenu;

namespace corvala {

class TAngledTabBar;

class TTabStrip : public QWidget {
    Q_OBJECT
public:
    explicit TTabStrip(QWidget* parent);

    // Adds a tab captioned "name (ID)" at the end and selects it.
    void AddTab(const QString& caption);
    // Selects the tab whose caption contains "(" + id + ")"; false when none does.
    bool SelectTabOfPeer(const QString& id);
    void RemoveTab(int index);
    int Count() const;
    int CurrentIndex() const;
    QString Caption(int index) const;
    // The tab's rectangle in strip coordinates (for tests and screenshots).
    QRect TabRect(int index) const;
    TAngledTabBar* Bar() const { return FBar; }
    void Translate();

signals:
    // The tab about to be shown (-1: none left) and its caption.
    void TabChanged(int index, const QString& caption);
    // The active tab's close button.
    void CloseRequested(int index);
    void AddClicked();
    // A left-button release anywhere on the strip.
    void Released();
    // A drag with the left button held: where the window's top-left corner
    // should go.
    void DragTo(QPoint wantedTopLeft);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TAngledTabBar* FBar;
    QToolButton* btnAdd;
    QToolButton* btnList;
    QMenu* mnuList;
    bool FPressed = false;
    bool FDragging = false;
    QPoint FPressGlobal;
    QPoint FGrabOffset;
};

}  // namespace corvala
