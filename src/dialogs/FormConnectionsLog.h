#pragma once
// "Connection Log": the connection history as it was when the window
// opened, newest first. "Clear" empties it (and the file) and is shown only
// while no peer is connected; the main window says when that changes, also
// while this window is open.

#include <QStringList>

#include <functional>

#include "dialogs/ChooserFrame.h"

class QListWidget;

namespace corvala {

class TFormConnectionsLog : public TChooserFrame {
    Q_OBJECT
public:
    // Empties the log and deletes its file; false when it refused.
    using ClearAction = std::function<bool()>;

    TFormConnectionsLog(ClearAction clear, QWidget* parent = nullptr);

    // Shows `lines` modally; "Clear" only when `peersConnected` is false.
    void Execute(const QStringList& lines, bool peersConnected);
    void SetPeersConnected(bool connected);

    QListWidget* List() const { return lstLog; }
    QPushButton* ClearButton() const { return OkButton(); }

protected:
    void OkClick() override;
    void showEvent(QShowEvent* event) override;

private:
    ClearAction FClear;
    QLabel* lblConnections;
    QListWidget* lstLog;
};

}  // namespace corvala
