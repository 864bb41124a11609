#pragma once
// The "Attention!" window (TRoutingForm): tells the user how to forward the
// relay's outside port by hand when the router does not do it through UPnP,
// with a link to the manual's page on port forwarding. Modal, on top of the
// other windows, centred on the desktop.

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

namespace corvala {

class TLinkLabel;

class TRoutingForm : public QDialog {
    Q_OBJECT
public:
    // Read at every showing: the port and the address may have changed.
    struct Sources {
        std::function<int()> relayPort;
        std::function<QString()> lanAddress;
        // Opens a page in the browser the way the program opens every page.
        std::function<void(const QString& address)> openWebAddress;
        QString webSiteAddress;
    };

    static constexpr int DesignWidth = 402;
    static constexpr int Margin = 12;
    static constexpr int IconSize = 32;
    // The pale blue band behind the button.
    static constexpr unsigned BandColour = 0xE6F6FF;

    explicit TRoutingForm(Sources sources, QWidget* parent = nullptr);

    // Centred on the primary screen, then modal.
    int ExecCentred();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void translateTexts();
    void arrange();

    Sources FSources;
    QLabel* imgWarning;
    QLabel* lblMessage;
    TLinkLabel* lblLink;
    QPushButton* btnOK;
};

}  // namespace corvala
