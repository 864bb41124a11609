#include "dialogs/FormConnections.h"

#include <QListWidget>
#include <QVBoxLayout>

#include "features/LiveConnections.h"
#include "i18n/Translator.h"

namespace corvala {

TFormConnections::TFormConnections(DisconnectAction disconnect, QWidget* parent)
    : TChooserFrame("FormConnections", {420, 300}, parent), FDisconnect(std::move(disconnect)) {
    lstConnections = new QListWidget(this);
    lstConnections->setObjectName("lstConnections");
    lstConnections->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Body()->addWidget(lstConnections, 1);
}

void TFormConnections::Execute(const QStringList& lines) {
    lstConnections->clear();
    lstConnections->addItems(lines);
    if (lstConnections->count() > 0) lstConnections->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    lstConnections->setFocus();
    exec();
}

void TFormConnections::showEvent(QShowEvent* event) {
    TranslateFrame(TranslationKey("Connections"), TranslationKey("Current connections:"),
                   TranslationKey("Disconnect Selected"), TranslationKey("Close"));
    TChooserFrame::showEvent(event);
}

void TFormConnections::OkClick() {
    QStringList lines;
    QList<bool> selected;
    for (int i = 0; i < lstConnections->count(); ++i) {
        lines << lstConnections->item(i)->text();
        selected << lstConnections->item(i)->isSelected();
    }
    const DisconnectSelection selection = DisconnectSelected(lines, selected);
    lstConnections->clear();
    lstConnections->addItems(selection.RemainingLines);
    if (!selection.IdsToEnd.isEmpty() && FDisconnect) FDisconnect(selection.IdsToEnd);
}

}  // namespace corvala
