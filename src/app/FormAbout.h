#pragma once
// The About window: the product and its version, when and from what it was
// built, whom to ask for help, the web site and the licence, and the notices
// of every library the program ships or links.

#include "widgets/ThemedDialog.h"

#include <functional>

namespace corvala {

class TFormAbout : public TThemedDialog {
    Q_OBJECT
public:
    using WebAddressOpener = std::function<void(const QString& address)>;

    TFormAbout(const QString& webSiteAddress, const QString& supportContact, WebAddressOpener openWebAddress,
               QWidget* parent = nullptr);
};

}  // namespace corvala
