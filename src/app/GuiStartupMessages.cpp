#include "app/GuiStartupMessages.h"

#include <QApplication>
#include <QMessageBox>
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

void GuiStartupMessages::Warning(const std::string& text) {
    std::fprintf(stderr, "Corvala: %s\n", text.c_str());
    if (EnsureApplication()) QMessageBox::warning(nullptr, "Warning", QString::fromStdString(text));
}

void GuiStartupMessages::Error(const std::string& text) {
    std::fprintf(stderr, "Corvala: %s\n", text.c_str());
    if (EnsureApplication()) QMessageBox::critical(nullptr, "Error", QString::fromStdString(text));
}

}  // namespace corvala
