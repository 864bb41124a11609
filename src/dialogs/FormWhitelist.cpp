#include "dialogs/FormWhitelist.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "i18n/Translator.h"
#include "widgets/FormMessage.h"

namespace corvala {

TFormWhitelist::TFormWhitelist(QWidget* parent) : TChooserFrame("FormWhitelist", {420, 340}, parent) {
    QVBoxLayout* column = AddFieldColumn();
    QWidget* fields = column->parentWidget();
    chkEnabled = new QCheckBox(fields);
    chkEnabled->setObjectName("chkEnabled");
    lblList = new QLabel(fields);
    lblList->setObjectName("lblList");
    memList = new QPlainTextEdit(fields);
    memList->setObjectName("memList");
    memList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memList->setTabChangesFocus(true);
    lblList->setBuddy(memList);
    column->addWidget(chkEnabled);
    column->addWidget(lblList);
    column->addWidget(memList, 1);
    connect(chkEnabled, &QCheckBox::toggled, this, [this] { ApplyEnabledState(); });
}

std::optional<WhiteListAnswer> TFormWhitelist::Execute(const WhiteListAnswer& current) {
    chkEnabled->setChecked(current.Enabled);
    memList->setPlainText(current.List.join(u'\n'));
    ApplyEnabledState();
    exec();
    if (Tag != 1) return std::nullopt;
    return WhiteListAnswer{chkEnabled->isChecked(), WhiteListLines(memList->toPlainText())};
}

void TFormWhitelist::showEvent(QShowEvent* event) {
    TranslateFrame(TranslationKey("Set Whitelist"), nullptr);
    chkEnabled->setText(translate(QStringLiteral("Allow only specific partners to connect to this computer.")));
    lblList->setText(translate(QStringLiteral("Enter remote IDs, one per line:")));
    TChooserFrame::showEvent(event);
}

void TFormWhitelist::ApplyEnabledState() {
    lblList->setEnabled(chkEnabled->isChecked());
    memList->setEnabled(chkEnabled->isChecked());
}

void TFormWhitelist::OkClick() {
    if (const auto refusal = ValidateWhiteList(chkEnabled->isChecked(), memList->toPlainText())) {
        ShowAppMessage(true, refusal->Kind, translate(QString::fromLatin1(refusal->Text)));
        return;
    }
    Confirm();
}

}  // namespace corvala
