#include "app/FormAbout.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/BuildInfo.h"
#include "app/ThirdPartyNotices.h"
#include "base/ProcessState.h"
#include "base/ProductInfo.h"
#include "i18n/Translator.h"
#include "widgets/WindowChrome.h"

namespace corvala {

namespace {

QLabel* Link(const QString& text, const QString& objectName, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::RichText);
    label->setText(QString("<a href=\"open\" style=\"color:%1\">%2</a>")
                       .arg(ToQColor(processState().Theme.LinkColour).name(), text.toHtmlEscaped()));
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    return label;
}

}  // namespace

TFormAbout::TFormAbout(const QString& webSiteAddress, const QString& supportContact, WebAddressOpener openWebAddress,
                       QWidget* parent)
    : TThemedDialog(translate("About"), parent) {
    setObjectName("TFormAbout");
    QWidget* body = Body()->parentWidget();

    auto* product = new QLabel(ProductName + " " + VersionText(), body);
    product->setObjectName("lblProduct");
    product->setStyleSheet("font-size: 16pt; font-weight: bold;");
    auto* build = new QLabel(translate("Build date:") + " " + QString::fromLatin1(BuildDate()) + "    " +
                                 translate("Commit:") + " " + QString::fromLatin1(BuildCommit()),
                             body);
    build->setObjectName("lblBuild");
    build->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* support = new QLabel(translate("For assistance, please contact us:") + " " + supportContact, body);
    support->setObjectName("lblSupport");
    support->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* links = new QHBoxLayout();
    links->setSpacing(24);
    QLabel* site = Link(translate("Visit Website"), "lblWebSite", body);
    QLabel* licence = Link(translate("License Agreement"), "lblLicense", body);
    connect(site, &QLabel::linkActivated, this, [openWebAddress, webSiteAddress] { openWebAddress(webSiteAddress); });
    connect(licence, &QLabel::linkActivated, this,
            [openWebAddress, webSiteAddress] { openWebAddress(webSiteAddress + "/eula/"); });
    links->addWidget(site);
    links->addWidget(licence);
    links->addStretch(1);

    auto* noticesCaption = new QLabel(translate("Third-party notices"), body);
    noticesCaption->setStyleSheet("font-weight: bold;");
    auto* notices = new QTreeWidget(body);
    notices->setObjectName("twNotices");
    notices->setRootIsDecorated(false);
    notices->setAlternatingRowColors(true);
    notices->setSelectionMode(QAbstractItemView::NoSelection);
    notices->setHeaderLabels({translate("Library"), translate("Licence"), translate("Web site")});
    for (const ThirdPartyNotice& notice : ThirdPartyNotices())
        notices->addTopLevelItem(new QTreeWidgetItem({notice.Name, notice.Licence, notice.WebSite}));
    notices->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    notices->setMinimumHeight(240);

    QPushButton* close = AddAccentButton(translate("OK"), body);
    close->setObjectName("btnOk");
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    Body()->addWidget(product);
    Body()->addWidget(build);
    Body()->addWidget(support);
    Body()->addLayout(links);
    Body()->addWidget(noticesCaption);
    Body()->addWidget(notices, 1);
    Body()->addWidget(close, 0, Qt::AlignRight);
    setMinimumWidth(860);
}

}  // namespace corvala
