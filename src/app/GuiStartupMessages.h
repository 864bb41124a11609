#pragma once
#include "widgets/FormMessage.h"
#include "app/StartupMessages.h"

namespace corvala {

// Shows start-up messages in the program's modal message box (untranslated:
// the language table is not built yet), creating the application object
// for it when none exists yet. Without any display the text goes to the
// standard error stream instead.
class GuiStartupMessages : public IStartupMessages {
public:
    GuiStartupMessages(int& argc, char** argv) : argc_(argc), argv_(argv) {}
    void Warning(const std::string& text) override { Show(MessageKind::Warning, text); }
    void Error(const std::string& text) override { Show(MessageKind::Error, text); }

private:
    void Show(MessageKind kind, const std::string& text);
    bool EnsureApplication();
    int& argc_;
    char** argv_;
};

}  // namespace corvala
