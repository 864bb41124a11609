#include "app/FormMainCR.h"

#include <QLabel>
#include <QVBoxLayout>

#include "platform/linux/LocalSocketInstanceChannel.h"

namespace corvala {

TFormMainCR::TFormMainCR(QWidget* parent) : QWidget(parent) {
    setObjectName("TFormMainCR");
    setWindowTitle("Corvala");
    resize(360, 240);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Corvala 4.2", this));

    auto* server = new platform::linuxos::InstanceMessageServer(
        [this](const platform::InstanceMessage& m) { HandleInstanceMessage(m); }, this);
    server->Listen();
}

void TFormMainCR::HandleInstanceMessage(const platform::InstanceMessage& message) {
    const auto& wanted = platform::ShowWindowMessage;
    if (message.message != wanted.message || message.wParam != wanted.wParam || message.lParam != wanted.lParam)
        return;
    if (isHidden()) {
        show();
        raise();
        activateWindow();
    }
}

}  // namespace corvala
