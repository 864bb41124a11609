#include "control/DemonstrationMode.h"

#include "i18n/Translator.h"
#include "settings/Settings.h"

namespace corvala {

DemonstrationMode::DemonstrationMode(Settings& settings, PeerMessenger& messenger)
    : FSettings(settings), FMessenger(messenger) {}

void DemonstrationMode::SetAllowOnlyViewing(bool value, bool notify) {
    FSettings.AllowOnlyViewing = value;
    if (notify)
        FMessenger.SendDataToEveryPeer(
            QString::fromLatin1(value ? commands::DemonstrationOn : commands::DemonstrationOff));
}

QString CaptionPrefix(bool allowOnlyViewing) {
    if (!allowOnlyViewing) return {};
    return translate(QString::fromLatin1(control_texts::Demonstration)) + QStringLiteral(" - ");
}

}  // namespace corvala
