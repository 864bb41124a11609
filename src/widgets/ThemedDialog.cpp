#include "widgets/ThemedDialog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "base/ProcessState.h"
#include "widgets/WindowChrome.h"

namespace corvala {

QString AccentButtonStyle() {
    const ThemeColours& t = processState().Theme;
    return QString("QPushButton { background: %1; color: white; border: none; }"
                   "QPushButton:hover { background: %2; } QPushButton:pressed { background: %3; }"
                   "QPushButton:disabled { background: %4; color: white; }")
        .arg(ToQColor(t.ButtonColour).name(), ToQColor(t.ButtonHoverColour).name(),
             ToQColor(t.ButtonPressedColour).name(), ToQColor(t.DisabledButtonColour).name());
}

TThemedDialog::TThemedDialog(const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(title);
    const ThemeColours& theme = processState().Theme;
    const int border = theme.BorderWidth;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(border, border, border, border);
    layout->setSpacing(0);

    auto* caption = new TCaptionBar(this);
    auto* captionLayout = new QHBoxLayout(caption);
    captionLayout->setContentsMargins(10, 0, 0, 0);
    auto* captionLabel = new QLabel(title, caption);
    captionLabel->setObjectName("lblTitle");
    captionLabel->setStyleSheet(QString("color: %1; font-weight: bold;").arg(ToQColor(theme.CaptionTextColour).name()));
    caption->DragBy(captionLabel);
    auto* close = new TCaptionButton(TCaptionButton::Glyph::Close, caption);
    close->setObjectName("btnClose");
    captionLayout->addWidget(captionLabel, 1);
    captionLayout->addWidget(close);
    layout->addWidget(caption);
    connect(close, &QAbstractButton::clicked, this, &QDialog::reject);

    auto* body = new QWidget(this);
    body->setObjectName("panBody");
    body->setAutoFillBackground(true);
    QPalette palette = body->palette();
    palette.setColor(QPalette::Window, Qt::white);
    body->setPalette(palette);
    FBody = new QVBoxLayout(body);
    FBody->setContentsMargins(20, 16, 20, 16);
    FBody->setSpacing(12);
    layout->addWidget(body);
}

QPushButton* TThemedDialog::AddAccentButton(const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setMinimumSize(100, 30);
    button->setStyleSheet(AccentButtonStyle() + "QPushButton { padding: 4px 16px; }");
    return button;
}

int TThemedDialog::ExecCentred() {
    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    return exec();
}

void TThemedDialog::paintEvent(QPaintEvent*) { PaintWindowBorder(this); }

}  // namespace corvala
