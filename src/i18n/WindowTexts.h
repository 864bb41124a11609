#pragma once
// Translating the fixed texts of a window from a table of targets, so that
// each window lists what it shows instead of repeating the lookup code.
// Works on any QObject property ("text", "windowTitle", "toolTip", "title"),
// so it needs no widget code and runs wherever the window's objects live.

#include <span>

#include <QObject>

namespace corvala {

struct TextTarget {
    const char* ObjectName;  // child of the window; empty or null: the window itself
    const char* Property;    // e.g. "text", "windowTitle"
    const char* Key;         // English text, the table key
    const char* Suffix = ""; // appended untranslated, e.g. "..."
};

// Sets every target's property to translate(Key) + Suffix. Returns the number
// of targets whose object was not found (0 when all were set), so that a
// renamed control shows up in the window's tests.
int translateTexts(QObject* window, std::span<const TextTarget> targets);

}  // namespace corvala
