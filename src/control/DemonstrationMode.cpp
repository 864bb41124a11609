#include "control/DemonstrationMode.h"

#include "i18n/Translator.h"

namespace corvala {

DemonstrationMode::DemonstrationMode(PeerMessenger& messenger, DemonstrationHooks hooks)
    : messenger_(messenger), hooks_(std::move(hooks)) {}

void DemonstrationMode::SetAllowOnlyViewing(bool value, bool notify) {
    if (hooks_.StoreAllowOnlyViewing) hooks_.StoreAllowOnlyViewing(value);
    if (notify)
        messenger_.SendDataToEveryPeer(
            QString::fromLatin1(value ? commands::DemonstrationOn : commands::DemonstrationOff));
    if (hooks_.RefreshCaption) hooks_.RefreshCaption();
    if (hooks_.DriveMagnifier) hooks_.DriveMagnifier(value);
}

QString CaptionPrefix(bool allowOnlyViewing) {
    if (!allowOnlyViewing) return {};
    return translate(QString::fromLatin1(control_texts::Demonstration)) + QStringLiteral(" - ");
}

}  // namespace corvala
