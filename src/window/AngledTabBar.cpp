#include "window/AngledTabBar.h"

#include <QAbstractButton>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

#include <algorithm>

#include "base/ProcessState.h"
#include "widgets/WindowChrome.h"
#include "i18n/Translator.h"
#include "window/TabCloseButton.h"

namespace corvala {

namespace {
constexpr int Slant = 10;          // horizontal run of a tab's angled side
constexpr int MinimumTabWidth = 90;
constexpr int MaximumTabWidth = 240;
constexpr int CloseButtonRoom = 22;
}  // namespace

TAngledTabBar::TAngledTabBar(QWidget* parent) : QTabBar(parent) {
    setObjectName("ATTabs1");
    setMovable(false);
    // Closable by the buttons added per tab only.
    setTabsClosable(false);
    setElideMode(Qt::ElideRight);
    setExpanding(false);
    setUsesScrollButtons(true);
    setDrawBase(false);
    setDocumentMode(true);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QTabBar::currentChanged, this, [this] { ShowCloseButtonOnActiveTabOnly(); });
    Translate();
}

void TAngledTabBar::Translate() {
    for (QToolButton* button : findChildren<QToolButton*>()) {
        // The bar's own scroll buttons, told apart by their arrows.
        if (button->arrowType() == Qt::LeftArrow) button->setToolTip(translate("Scroll tabs left"));
        if (button->arrowType() == Qt::RightArrow) button->setToolTip(translate("Scroll tabs right"));
    }
    for (int i = 0; i < count(); ++i)
        if (QWidget* close = tabButton(i, QTabBar::RightSide)) close->setToolTip(translate("Close tab"));
}

QSize TAngledTabBar::tabSizeHint(int index) const {
    const int text = fontMetrics().horizontalAdvance(tabText(index));
    const int width = std::clamp(text + 2 * Slant + CloseButtonRoom + 12, MinimumTabWidth, MaximumTabWidth);
    return {width, TCaptionBar::Height};
}

QSize TAngledTabBar::minimumTabSizeHint(int index) const { return {MinimumTabWidth, tabSizeHint(index).height()}; }

void TAngledTabBar::tabInserted(int index) {
    QTabBar::tabInserted(index);
    // Our own close button, so that it asks the same question through
    // tabCloseRequested as the bar's would.
    auto* close = new TTabCloseButton(this);
    close->setToolTip(translate("Close tab"));
    connect(close, &QAbstractButton::clicked, this, [this, close] {
        for (int i = 0; i < count(); ++i)
            if (tabButton(i, QTabBar::RightSide) == close) emit tabCloseRequested(i);
    });
    setTabButton(index, QTabBar::RightSide, close);
    ShowCloseButtonOnActiveTabOnly();
}

void TAngledTabBar::tabRemoved(int index) {
    QTabBar::tabRemoved(index);
    ShowCloseButtonOnActiveTabOnly();
}

void TAngledTabBar::ShowCloseButtonOnActiveTabOnly() {
    for (int i = 0; i < count(); ++i)
        if (QWidget* close = tabButton(i, QTabBar::RightSide)) close->setVisible(i == currentIndex());
}

void TAngledTabBar::paintEvent(QPaintEvent*) {
    const ThemeColours& theme = processState().Theme;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), ToQColor(theme.CaptionColour));
    // The active tab is drawn last, over its neighbours' angled sides.
    QList<int> order;
    for (int i = 0; i < count(); ++i)
        if (i != currentIndex()) order << i;
    if (currentIndex() >= 0) order << currentIndex();
    for (int i : order) {
        const QRect r = tabRect(i);
        if (!r.intersects(rect())) continue;
        const bool active = i == currentIndex();
        QPainterPath shape;
        shape.moveTo(r.left(), r.bottom() + 1);
        shape.lineTo(r.left() + Slant, r.top() + 4);
        shape.lineTo(r.right() - Slant, r.top() + 4);
        shape.lineTo(r.right() + 1, r.bottom() + 1);
        shape.closeSubpath();
        p.fillPath(shape, active ? QColor(Qt::white) : ToQColor(theme.CaptionButtonHoverColour));
        p.setPen(ToQColor(theme.BorderColour));
        p.drawPath(shape);
        QRect text = r.adjusted(Slant + 4, 4, -Slant - (active ? CloseButtonRoom : 4), 0);
        p.setPen(active ? QColor(Qt::black) : ToQColor(theme.CaptionTextColour));
        p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                   fontMetrics().elidedText(tabText(i), Qt::ElideRight, text.width()));
    }
}

}  // namespace corvala
