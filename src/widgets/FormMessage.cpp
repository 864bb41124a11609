#include "widgets/FormMessage.h"

#include <cmath>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "base/ProcessState.h"
#include "widgets/WindowChrome.h"
#include "i18n/Translator.h"

namespace corvala {

namespace {

QColor colour(Rgb rgb) { return QColor::fromRgb(rgb); }

int roundHalfEven(double v) { return static_cast<int>(std::nearbyint(v)); }

void fill(QWidget* w, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

}  // namespace


QString messageKindName(MessageKind kind) {
    switch (kind) {
    case MessageKind::Warning: return QStringLiteral("Warning");
    case MessageKind::Error: return QStringLiteral("Error");
    case MessageKind::Confirm: return QStringLiteral("Confirm");
    case MessageKind::Information: return QStringLiteral("Information");
    }
    return {};
}

TFormMessage::TFormMessage(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("FormMessage");
    FCaptionBar = new QWidget(this);
    FCaptionBar->setObjectName("panCaption");
    FCaptionLabel = new QLabel(FCaptionBar);
    FCaptionLabel->setObjectName("labelCaption");
    FCaptionLabel->setTextFormat(Qt::PlainText);
    FCloseButton = new TCaptionButton(TCaptionButton::Glyph::Close, FCaptionBar);
    FCloseButton->setObjectName("btnClose");
    FBody = new QWidget(this);
    FBody->setObjectName("panBody");
    FIcon = new QLabel(FBody);
    FIcon->setObjectName("imageIcon");
    FMessage = new QLabel(FBody);
    FMessage->setObjectName("labelMessage");
    FMessage->setWordWrap(true);
    FMessage->setTextFormat(Qt::PlainText);
    FMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FBottomPanel = new QWidget(FBody);
    FBottomPanel->setObjectName("panButtons");
    FButtonOK = new QPushButton(FBody);
    FButtonOK->setObjectName("btnOK");
    FButtonCancel = new QPushButton(FBody);
    FButtonCancel->setObjectName("btnCancel");

    FCaptionBar->installEventFilter(this);
    FCaptionLabel->installEventFilter(this);
    connect(FCloseButton, &QAbstractButton::clicked, this, &QDialog::close);
    connect(FButtonOK, &QPushButton::clicked, this, [this] {
        answerWith(FKind == MessageKind::Information ? 0 : 1);
    });
    connect(FButtonCancel, &QPushButton::clicked, this, [this] { answerWith(0); });
    applyTheme();
}

void TFormMessage::applyTheme() {
    const ThemeColours& theme = processState().Theme;
    fill(FCaptionBar, colour(theme.CaptionColour));
    fill(FCaptionLabel, colour(theme.CaptionColour));
    QPalette text = FCaptionLabel->palette();
    text.setColor(QPalette::WindowText, colour(theme.CaptionTextColour));
    FCaptionLabel->setPalette(text);
    QFont bold = FCaptionLabel->font();
    bold.setBold(true);
    FCaptionLabel->setFont(bold);
    fill(FBody, Qt::white);
}

void TFormMessage::setMessage(MessageKind kind, const QString& text) {
    FKind = kind;
    QStyle::StandardPixmap icon = QStyle::SP_MessageBoxWarning;
    QString caption;
    switch (kind) {
    case MessageKind::Warning:
        caption = translate("Warning!");
        break;
    case MessageKind::Error:
        caption = translate("Error");
        icon = QStyle::SP_MessageBoxCritical;
        break;
    case MessageKind::Confirm:
        caption = translate("Confirm");
        icon = QStyle::SP_MessageBoxQuestion;
        break;
    case MessageKind::Information:
        caption = translate("Information");
        icon = QStyle::SP_MessageBoxInformation;
        break;
    }
    FCaptionLabel->setText(caption);
    setWindowTitle(caption);
    FIcon->setPixmap(style()->standardIcon(icon).pixmap(IconSize, IconSize));
    // Warning and Error answer with OK alone; Information's lone button is the
    // Cancel button captioned "OK"; Confirm has both.
    FButtonOK->setText(translate("OK"));
    FButtonOK->setVisible(kind != MessageKind::Information);
    FButtonCancel->setText(kind == MessageKind::Information ? translate("OK") : translate("Cancel"));
    FButtonCancel->setVisible(kind == MessageKind::Confirm || kind == MessageKind::Information);
    FMessage->setText(text);
    layOut();
}

void TFormMessage::layOut() {
    const int border = processState().Theme.BorderWidth;
    const int width = ClientWidth;

    FCaptionBar->setGeometry(border, border, width - 2 * border, CaptionHeight - border);
    FCloseButton->setGeometry(FCaptionBar->width() - CloseButtonWidth, 0, CloseButtonWidth,
                              qMin(CloseButtonHeight, FCaptionBar->height()));
    FCaptionLabel->setGeometry(8, 0, FCloseButton->x() - 8, FCaptionBar->height());

    // Body coordinates: origin at the body's top left, below the caption bar.
    const int cancelRight = width - 2 * border - Margin;
    const int cancelLeft = cancelRight - ButtonWidth;
    const int secondLeft = cancelLeft - ButtonGap - ButtonWidth;
    FIcon->setGeometry(Margin, Margin, IconSize, IconSize);

    const int labelLeft = Margin + IconSize + Margin;
    const int labelWidth = cancelRight - labelLeft;
    const int labelHeight = FMessage->heightForWidth(labelWidth);
    // A single line sits level with the icon's middle.
    const int labelTop = Margin + qMax(0, (IconSize - FMessage->fontMetrics().height()) / 2);
    FMessage->setGeometry(labelLeft, labelTop, labelWidth, labelHeight);

    const int labelBottom = labelTop + labelHeight;
    const int buttonsTopInBody = labelBottom + roundHalfEven(1.5 * ButtonHeight);
    const int halfButton = roundHalfEven(ButtonHeight / 2.0);
    // OK takes the far right when it is the only button.
    const bool both = FKind == MessageKind::Confirm;
    FButtonOK->setGeometry(both ? secondLeft : cancelLeft, buttonsTopInBody, ButtonWidth, ButtonHeight);
    FButtonCancel->setGeometry(cancelLeft, buttonsTopInBody, ButtonWidth, ButtonHeight);

    // Window coordinates from here on: the body starts below the caption bar.
    const int buttonsTop = CaptionHeight + buttonsTopInBody;
    const int height = halfButton + ButtonHeight + buttonsTop;
    FBody->setGeometry(border, CaptionHeight, width - 2 * border, height - CaptionHeight - border);
    const int panelTop = buttonsTopInBody - halfButton;
    FBottomPanel->setGeometry(0, panelTop, FBody->width(), FBody->height() - panelTop);
    FBottomPanel->lower();
    setFixedSize(width, height);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        // Centred; a box taller than the screen keeps its caption on screen
        // so that it can still be dragged and closed.
        const QRect area = screen->availableGeometry();
        const QPoint centred = area.center() - QPoint(width / 2, height / 2);
        move(centred.x(), qMax(area.top(), centred.y()));
    }
}

void TFormMessage::showEvent(QShowEvent* event) {
    const ThemeColours& theme = processState().Theme;
    fill(FBottomPanel, theme.PanelColour ? colour(*theme.PanelColour)
                                         : QApplication::palette().color(QPalette::Button));
    FAnswer = 0;
    QDialog::showEvent(event);
}

void TFormMessage::paintEvent(QPaintEvent*) {
    // Whatever the caption bar and body leave uncovered is the border.
    QPainter p(this);
    p.fillRect(rect(), colour(processState().Theme.BorderColour));
}

bool TFormMessage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FCaptionBar || watched == FCaptionLabel) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* me = static_cast<QMouseEvent*>(event);
            if (me->button() == Qt::LeftButton) {
                FDragging = true;
                FDragStartMouse = me->globalPosition().toPoint();
                FDragStartWindow = pos();
                return true;
            }
            break;
        }
        case QEvent::MouseMove: {
            auto* me = static_cast<QMouseEvent*>(event);
            if (FDragging && (me->buttons() & Qt::LeftButton)) {
                move(FDragStartWindow + me->globalPosition().toPoint() - FDragStartMouse);
                return true;
            }
            break;
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                FDragging = false;
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormMessage::answerWith(int answer) {
    FAnswer = answer;
    close();
}

namespace {

void logLine(const QString& kind, const QString& text) {
    const QString path = qEnvironmentVariable("CORVALA_MESSAGE_LOG");
    if (path.isEmpty())
        return;
    QString flat = text;
    flat.replace(QStringLiteral("\r\n"), QStringLiteral("\\n"));
    flat.replace(u'\n', QStringLiteral("\\n"));
    flat.replace(u'\r', QStringLiteral("\\n"));
    QFile log(path);
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
        log.write((kind + u'\t' + flat + u'\n').toUtf8());
}

void logMessage(MessageKind kind, const QString& text) { logLine(messageKindName(kind), text); }

}  // namespace

void LogStatusText(const QString& text) { logLine(QStringLiteral("Status"), text); }

bool ShowAppMessage(bool modal, MessageKind kind, const QString& text) {
    logMessage(kind, text);
    const QString autoAnswer = qEnvironmentVariable("CORVALA_AUTO_ANSWER").toLower();
    if (autoAnswer == QLatin1String("ok") || autoAnswer == QLatin1String("cancel"))
        return modal && kind == MessageKind::Confirm && autoAnswer == QLatin1String("ok");

    auto* box = new TFormMessage;
    box->setMessage(kind, text);
    if (!modal) {
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
        return false;
    }
    box->exec();
    const bool confirmed = kind == MessageKind::Confirm && box->answer() == 1;
    delete box;
    return confirmed;
}

}  // namespace corvala
