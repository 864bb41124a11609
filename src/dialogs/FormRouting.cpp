#include "dialogs/FormRouting.h"

#include "base/ProcessState.h"
#include "i18n/Translator.h"
#include "relay/PortForwarding.h"
#include "widgets/WindowChrome.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <cmath>

namespace corvala {

// A text link: the theme's link colour, underlined while the pointer is over
// it, a click anywhere on it counts.
class TLinkLabel : public QLabel {
public:
    explicit TLinkLabel(QWidget* parent) : QLabel(parent) {
        setCursor(Qt::PointingHandCursor);
        setTextFormat(Qt::PlainText);
        QPalette palette = this->palette();
        palette.setColor(QPalette::WindowText, ToQColor(processState().Theme.LinkColour));
        setPalette(palette);
    }
    std::function<void()> OnClick;

protected:
    void enterEvent(QEnterEvent*) override { setUnderline(true); }
    void leaveEvent(QEvent*) override { setUnderline(false); }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && OnClick) OnClick();
    }

private:
    void setUnderline(bool on) {
        QFont f = font();
        f.setUnderline(on);
        setFont(f);
    }
};

namespace {

// Round half to even, the program's rounding everywhere.
int Round(double value) { return static_cast<int>(std::nearbyint(value)); }

QString Fill(QString text, const QStringList& values) {
    for (const QString& value : values) {
        const qsizetype at = text.indexOf(QLatin1String("%s"));
        if (at < 0) break;
        text.replace(at, 2, value);
    }
    return text;
}

}  // namespace

TRoutingForm::TRoutingForm(Sources sources, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FSources(std::move(sources)) {
    setObjectName("TRoutingForm");
    setModal(true);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    imgWarning = new QLabel(this);
    imgWarning->setObjectName("imgWarning");
    imgWarning->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(IconSize, IconSize));
    imgWarning->setGeometry(Margin, Margin, IconSize, IconSize);
    lblMessage = new QLabel(this);
    lblMessage->setObjectName("lblMessage");
    lblMessage->setTextFormat(Qt::PlainText);
    lblMessage->setWordWrap(true);
    lblLink = new TLinkLabel(this);
    lblLink->setObjectName("lblLink");
    lblLink->OnClick = [this] {
        if (FSources.openWebAddress)
            FSources.openWebAddress(FSources.webSiteAddress + "/manual/" + "port-forwarding.htm");
    };
    btnOK = new QPushButton(this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnOK->setFixedSize(75, 25);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    resize(DesignWidth, 128);
}

void TRoutingForm::translateTexts() {
    setWindowTitle(translate(QStringLiteral("Attention!")));
    btnOK->setText(translate(QStringLiteral("OK")));
    const int port = FSources.relayPort ? FSources.relayPort() : 0;
    const QString lanAddress = FSources.lanAddress ? FSources.lanAddress() : QString();
    lblMessage->setText(
        Fill(translate(QStringLiteral("Router uPNP disabled. Please log into your router and add UDP port forwarding "
                                      "from public port %s to %s port %s, or simply enable uPNP.")),
             {QString::number(port), lanAddress, QString::number(RelayLocalPort)}) +
        "\n\n" + translate(QStringLiteral("Then restart the application.")));
    lblLink->setText(translate(QStringLiteral("Learn how to apply port forwarding")));
}

void TRoutingForm::arrange() {
    // The message takes what the icon leaves of the width and grows to its
    // text; everything below moves with it, so that longer translations
    // never cut the text or overlap the link.
    const int messageLeft = Margin + IconSize + Margin;
    const int messageWidth = DesignWidth - messageLeft - IconSize;
    lblMessage->setGeometry(messageLeft, Margin, messageWidth, lblMessage->heightForWidth(messageWidth));
    const QSize link = lblLink->sizeHint();
    lblLink->setGeometry(messageLeft, lblMessage->geometry().bottom() + 1 + link.height(), link.width(),
                         link.height());
    const int buttonTop = lblLink->geometry().bottom() + 1 + btnOK->height();
    btnOK->move((DesignWidth - btnOK->width()) / 2, buttonTop);
    setFixedSize(DesignWidth, buttonTop + btnOK->height() + Round(btnOK->height() / 4.0));
}

void TRoutingForm::showEvent(QShowEvent* event) {
    translateTexts();
    arrange();
    QDialog::showEvent(event);
}

void TRoutingForm::paintEvent(QPaintEvent*) {
    const int bandTop = btnOK->y() - Round(btnOK->height() / 2.0);
    QPainter(this).fillRect(0, bandTop, width(), height() - bandTop, QColor::fromRgb(BandColour));
}

int TRoutingForm::ExecCentred() {
    translateTexts();
    arrange();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    return exec();
}

}  // namespace corvala
