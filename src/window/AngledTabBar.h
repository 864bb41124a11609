#pragma once
// The connection tabs: angled tabs of variable width with captions cut with
// dots on the right, a close button on the active tab only, no dragging and
// no closing by middle or double click.

#include <QTabBar>

namespace corvala {

class TAngledTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit TAngledTabBar(QWidget* parent);
    // The hints of the close and scroll buttons in the current language.
    void Translate();

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override;
    void paintEvent(QPaintEvent*) override;
    void tabInserted(int index) override;
    void tabRemoved(int index) override;

private:
    void ShowCloseButtonOnActiveTabOnly();
};

}  // namespace corvala
