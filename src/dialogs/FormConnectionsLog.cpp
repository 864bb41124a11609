#include "dialogs/FormConnectionsLog.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "i18n/Translator.h"

namespace corvala {

TFormConnectionsLog::TFormConnectionsLog(ClearAction clear, QWidget* parent)
    : TChooserFrame("FormConnectionsLog", {520, 400}, parent), FClear(std::move(clear)) {
    QVBoxLayout* column = AddFieldColumn();
    QWidget* fields = column->parentWidget();
    lblConnections = new QLabel(fields);
    lblConnections->setObjectName("lblConnections");
    lstLog = new QListWidget(fields);
    lstLog->setObjectName("lstLog");
    column->addWidget(lblConnections);
    column->addWidget(lstLog, 1);
}

void TFormConnectionsLog::Execute(const QStringList& lines, bool peersConnected) {
    lstLog->clear();
    lstLog->addItems(lines);
    SetPeersConnected(peersConnected);
    exec();
}

void TFormConnectionsLog::SetPeersConnected(bool connected) { ClearButton()->setVisible(!connected); }

void TFormConnectionsLog::showEvent(QShowEvent* event) {
    TranslateFrame(TranslationKey("Connection Log"), nullptr, TranslationKey("Clear"), TranslationKey("Close"));
    lblConnections->setText(translate(QStringLiteral("Connections")) + u':');
    TChooserFrame::showEvent(event);
}

void TFormConnectionsLog::OkClick() {
    if (ClearButton()->isHidden() || !FClear || !FClear()) return;
    lstLog->clear();
}

}  // namespace corvala
