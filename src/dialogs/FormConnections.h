#pragma once
// "Connections": the peers connected now, one line each ("name (ID)");
// "Disconnect Selected" ends the calls of the selected lines and removes
// them. The window stays open.

#include <QStringList>

#include <functional>

#include "dialogs/ChooserFrame.h"

class QListWidget;

namespace corvala {

class TFormConnections : public TChooserFrame {
    Q_OBJECT
public:
    // Ends the calls with these IDs, in this order.
    using DisconnectAction = std::function<void(const QStringList& ids)>;

    TFormConnections(DisconnectAction disconnect, QWidget* parent = nullptr);

    // Shows `lines` modally.
    void Execute(const QStringList& lines);

    QListWidget* List() const { return lstConnections; }
    QPushButton* DisconnectButton() const { return OkButton(); }

protected:
    void OkClick() override;
    void showEvent(QShowEvent* event) override;

private:
    DisconnectAction FDisconnect;
    QListWidget* lstConnections;
};

}  // namespace corvala
