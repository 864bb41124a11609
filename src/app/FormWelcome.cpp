#include "app/FormWelcome.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/ProcessState.h"
#include "base/ProductInfo.h"
#include "widgets/WindowChrome.h"
#include "i18n/Translator.h"

namespace corvala {

TFormWelcome::TFormWelcome(const QString& webSiteAddress, WebAddressOpener openWebAddress, QWidget* parent)
    : TThemedDialog(ProductName, parent), FWebSite(webSiteAddress), FOpenWebAddress(std::move(openWebAddress)) {
    setObjectName("TFormWelcome");
    const ThemeColours& theme = processState().Theme;
    QWidget* body = Body()->parentWidget();
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
    QPushButton* accept = AddAccentButton(translate("Accept"), body);
    accept->setObjectName("btnAccept");
    accept->setFixedSize(100, 30);
    connect(accept, &QPushButton::clicked, this, &QDialog::accept);
    Body()->addWidget(title);
    Body()->addWidget(attention);
    Body()->addWidget(agreement);
    Body()->addWidget(licence, 0, Qt::AlignLeft);
    Body()->addWidget(accept, 0, Qt::AlignRight);
    setFixedWidth(460);
}

bool TFormWelcome::Ask(const QString& webSiteAddress, WebAddressOpener openWebAddress, QWidget* parent) {
    const QByteArray automatic = qgetenv("CORVALA_AUTO_ANSWER");
    if (!automatic.isEmpty()) return automatic == "ok";
    TFormWelcome welcome(webSiteAddress, std::move(openWebAddress), parent);
    return welcome.ExecCentred() == QDialog::Accepted;
}

}  // namespace corvala
