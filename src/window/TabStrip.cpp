#include "window/TabStrip.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QToolButton>

#include "base/ProcessState.h"
#include "widgets/WindowChrome.h"
#include "i18n/Translator.h"
#include "window/AngledTabBar.h"

namespace corvala {

TTabStrip::TTabStrip(QWidget* parent) : QWidget(parent) {
    setObjectName("tabStrip");
    setFixedHeight(TCaptionBar::Height);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    FBar = new TAngledTabBar(this);
    FBar->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    FBar->setFixedHeight(TCaptionBar::Height);
    const ThemeColours& theme = processState().Theme;
    const QString buttonStyle =
        QString("QToolButton { color: %1; background: transparent; border: none; font-size: 14pt; }"
                "QToolButton:hover { background: %2; } QToolButton::menu-indicator { image: none; }")
            .arg(ToQColor(theme.CaptionTextColour).name(), ToQColor(theme.CaptionButtonHoverColour).name());
    btnAdd = new QToolButton(this);
    btnAdd->setObjectName("btnAddTab");
    btnAdd->setText("+");
    btnAdd->setFixedSize(28, TCaptionBar::Height);
    btnAdd->setFocusPolicy(Qt::NoFocus);
    btnAdd->setStyleSheet(buttonStyle);
    btnList = new QToolButton(this);
    btnList->setObjectName("btnTabsList");
    btnList->setText(QString(QChar(0x25BE)));
    btnList->setFixedSize(24, TCaptionBar::Height);
    btnList->setFocusPolicy(Qt::NoFocus);
    btnList->setPopupMode(QToolButton::InstantPopup);
    btnList->setStyleSheet(buttonStyle);
    mnuList = new QMenu(btnList);
    btnList->setMenu(mnuList);
    layout->addWidget(FBar);
    layout->addWidget(btnAdd);
    layout->addStretch(1);
    layout->addWidget(btnList);

    connect(btnAdd, &QToolButton::clicked, this, &TTabStrip::AddClicked);
    connect(FBar, &QTabBar::currentChanged, this, [this](int index) { emit TabChanged(index, Caption(index)); });
    connect(FBar, &QTabBar::tabCloseRequested, this, [this](int index) {
        // Only the active tab shows its button; anything else is a stray click.
        if (index == FBar->currentIndex()) emit CloseRequested(index);
    });
    connect(mnuList, &QMenu::aboutToShow, this, [this] {
        mnuList->clear();
        for (int i = 0; i < FBar->count(); ++i) {
            QAction* item = mnuList->addAction(FBar->tabText(i));
            item->setCheckable(true);
            item->setChecked(i == FBar->currentIndex());
            connect(item, &QAction::triggered, this, [this, i] { FBar->setCurrentIndex(i); });
        }
    });
    FBar->installEventFilter(this);
    installEventFilter(this);
    Translate();
}

void TTabStrip::Translate() {
    FBar->Translate();
    btnAdd->setToolTip(translate("Add PC..."));
    btnList->setToolTip(translate("Show tabs list"));
}

void TTabStrip::AddTab(const QString& caption) {
    const int index = FBar->addTab(caption);
    FBar->setCurrentIndex(index);
}

bool TTabStrip::SelectTabOfPeer(const QString& id) {
    const QString mark = "(" + id + ")";
    for (int i = 0; i < FBar->count(); ++i)
        if (FBar->tabText(i).contains(mark)) {
            FBar->setCurrentIndex(i);
            return true;
        }
    return false;
}

void TTabStrip::RemoveTab(int index) { FBar->removeTab(index); }
int TTabStrip::Count() const { return FBar->count(); }
int TTabStrip::CurrentIndex() const { return FBar->currentIndex(); }
QString TTabStrip::Caption(int index) const { return index < 0 ? QString() : FBar->tabText(index); }
QRect TTabStrip::TabRect(int index) const { return FBar->tabRect(index).translated(FBar->pos()); }

bool TTabStrip::eventFilter(QObject* watched, QEvent* event) {
    if (watched != FBar && watched != this) return QWidget::eventFilter(watched, event);
    // What the bar ignores (a press beside its tabs) comes again to the strip
    // itself; the strip keeps it from dragging the caption bar under it.
    const bool own = watched == this;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() != Qt::LeftButton) return false;
            FPressed = true;
            FDragging = false;
            FPressGlobal = e->globalPosition().toPoint();
            FGrabOffset = FPressGlobal - window()->frameGeometry().topLeft();
            return own;
        }
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (!FPressed || !(e->buttons() & Qt::LeftButton)) return own;
            const QPoint global = e->globalPosition().toPoint();
            if (!FDragging && (global - FPressGlobal).manhattanLength() < QApplication::startDragDistance())
                return own;
            FDragging = true;
            emit DragTo(global - FGrabOffset);
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() != Qt::LeftButton) return own;
            // The same release seen by the bar and then by the strip counts once.
            if (!FPressed) return own;
            FPressed = false;
            // A release that ends a drag is not half of a double click.
            if (!std::exchange(FDragging, false)) emit Released();
            return own;
        }
        default: return false;
    }
}

}  // namespace corvala
