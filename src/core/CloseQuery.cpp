#include "core/CloseQuery.h"

#include "i18n/Translator.h"

namespace corvala {

bool QueryClose(const CloseQueryState& state, ICloseQuestions& answers) {
    if (state.EndingSession) return true;
    if (state.AutostartMarkerExists && !state.MasterMode) {
        if (state.ForcedUpdateShown) {
            answers.ShowWarning(translate("Please disable autostart!"));
            return false;
        }
        if (!answers.Confirm(translate("Please disable autostart!"))) return false;
        answers.DisableAutostart();
    }
    if (state.PeersConnected)
        return answers.Confirm(translate("All active connections will be closed.") + " " +
                               translate("Do you really want to exit?"));
    if (!state.MasterMode) return answers.Confirm(translate("Do you really want to exit?"));
    return true;
}

}  // namespace corvala
