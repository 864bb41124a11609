#pragma once
#include "app/StartupMessages.h"

namespace corvala {

// Shows start-up messages in a modal box, creating the application object
// for it when none exists yet. Without any display the text goes to the
// standard error stream instead.
class GuiStartupMessages : public IStartupMessages {
public:
    GuiStartupMessages(int& argc, char** argv) : argc_(argc), argv_(argv) {}
    void Warning(const std::string& text) override;
    void Error(const std::string& text) override;

private:
    bool EnsureApplication();
    int& argc_;
    char** argv_;
};

}  // namespace corvala
