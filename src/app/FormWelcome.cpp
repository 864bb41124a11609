#include "app/FormWelcome.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "base/ProcessState.h"
#include "base/ProductInfo.h"
#include "widgets/WindowChrome.h"
#include "i18n/Translator.h"

namespace corvala {

TFormWelcome::TFormWelcome(const QString& webSiteAddress, WebAddressOpener openWebAddress, QWidget* parent)
    : QDialog(parent), FWebSite(webSiteAddress), FOpenWebAddress(std::move(openWebAddress)) {
    setObjectName("TFormWelcome");
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(ProductName);
    const ThemeColours& theme = processState().Theme;
    const int border = theme.BorderWidth;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(border, border, border, border);
    layout->setSpacing(0);

    auto* caption = new TCaptionBar(this);
    auto* captionLayout = new QHBoxLayout(caption);
    captionLayout->setContentsMargins(10, 0, 0, 0);
    auto* captionLabel = new QLabel(ProductName, caption);
    captionLabel->setStyleSheet(QString("color: %1; font-weight: bold;").arg(ToQColor(theme.CaptionTextColour).name()));
    caption->DragBy(captionLabel);
    auto* close = new TCaptionButton(TCaptionButton::Glyph::Close, caption);
    close->setObjectName("btnClose");
    captionLayout->addWidget(captionLabel, 1);
    captionLayout->addWidget(close);
    layout->addWidget(caption);
    connect(close, &QAbstractButton::clicked, this, &QDialog::reject);

    auto* body = new QWidget(this);
    body->setStyleSheet("background: white;");
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(20, 16, 20, 16);
    bodyLayout->setSpacing(12);
    auto* title = new QLabel(translate("Welcome to %s!").replace("%s", ProductName), body);
    title->setObjectName("lblWelcome");
    title->setStyleSheet("font-size: 16pt;");
    auto* attention = new QLabel(
        translate("Attention! By providing or showing your ID and password from %s, you give permission to "
                  "remotely control your PC / server.").replace("%s", ProductName) +
            "\n" + translate("Do not allow unknown people to remotely control your computer / server."),
        body);
    attention->setObjectName("lblAttention");
    attention->setWordWrap(true);
    auto* agreement = new QLabel(translate("By clicking \"Accept\" you agree to the"), body);
    agreement->setObjectName("lblAgreement");
    agreement->setWordWrap(true);
    // The link on a label of its own, as wide as its text: a click anywhere
    // on it opens the licence.
    auto* licence = new QLabel(body);
    licence->setObjectName("lblLicense");
    licence->setTextFormat(Qt::RichText);
    licence->setText(QString("<a href=\"eula\" style=\"color:%1\">%2</a>.")
                         .arg(ToQColor(theme.LinkColour).name(), translate("License Agreement").toHtmlEscaped()));
    licence->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    connect(licence, &QLabel::linkActivated, this, [this] {
        if (FOpenWebAddress) FOpenWebAddress(FWebSite + "/eula/");
    });
    auto* accept = new QPushButton(translate("Accept"), body);
    accept->setObjectName("btnAccept");
    accept->setFixedSize(100, 30);
    accept->setStyleSheet(QString("QPushButton { background: %1; color: white; border: none; }"
                                  "QPushButton:hover { background: %2; } QPushButton:pressed { background: %3; }")
                              .arg(ToQColor(theme.ButtonColour).name(), ToQColor(theme.ButtonHoverColour).name(),
                                   ToQColor(theme.ButtonPressedColour).name()));
    connect(accept, &QPushButton::clicked, this, &QDialog::accept);
    bodyLayout->addWidget(title);
    bodyLayout->addWidget(attention);
    bodyLayout->addWidget(agreement);
    bodyLayout->addWidget(licence, 0, Qt::AlignLeft);
    bodyLayout->addWidget(accept, 0, Qt::AlignRight);
    layout->addWidget(body);
    setFixedWidth(460);
}

void TFormWelcome::paintEvent(QPaintEvent*) { PaintWindowBorder(this); }

bool TFormWelcome::Ask(const QString& webSiteAddress, WebAddressOpener openWebAddress, QWidget* parent) {
    const QByteArray automatic = qgetenv("CORVALA_AUTO_ANSWER");
    if (!automatic.isEmpty()) return automatic == "ok";
    TFormWelcome welcome(webSiteAddress, std::move(openWebAddress), parent);
    welcome.adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        welcome.move(screen->availableGeometry().center() - welcome.rect().center());
    return welcome.exec() == QDialog::Accepted;
}

}  // namespace corvala
