#pragma once
// The first-run welcome window: the user accepts the terms or the program
// ends. Only the "Accept" button accepts; every other way of closing refuses.

#include "widgets/ThemedDialog.h"

#include <functional>

class QLabel;
class QPushButton;

namespace corvala {

class TFormWelcome : public TThemedDialog {
    Q_OBJECT
public:
    // Opens a web page the way the program opens every page (the core's
    // OpenWebAddress, through the desktop's shell).
    using WebAddressOpener = std::function<void(const QString& address)>;

    TFormWelcome(const QString& webSiteAddress, WebAddressOpener openWebAddress, QWidget* parent = nullptr);

    // Shows the window modally; true when accepted. With CORVALA_AUTO_ANSWER
    // set (automated runs) nothing is shown: "ok" accepts, anything else refuses.
    static bool Ask(const QString& webSiteAddress, WebAddressOpener openWebAddress, QWidget* parent = nullptr);

private:
    QString FWebSite;
    WebAddressOpener FOpenWebAddress;
};

}  // namespace corvala
