#include "app/GuiStartupMessages.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

namespace corvala {

bool GuiStartupMessages::EnsureApplication() {
    if (QApplication::instance()) return true;
    const bool anyDisplay = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM");
    if (!anyDisplay) return false;
    new QApplication(argc_, argv_);  // lives until the process ends
    return true;
}

void GuiStartupMessages::Show(MessageKind kind, const std::string& text) {
    std::fprintf(stderr, "Corvala: %s\n", text.c_str());
    if (EnsureApplication()) ShowAppMessage(true, kind, QString::fromStdString(text));
}

}  // namespace corvala
