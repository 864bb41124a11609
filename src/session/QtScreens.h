#pragma once
// The computer's monitors as Qt sees them (on X11 Qt reads them from XRandR),
// in device pixels, for the own SessionInfoPayload and the source's size.

#include "session/SessionSetup.h"

#include <QSize>

namespace corvala {

// Needs a QGuiApplication; without one (or without screens) the list is empty.
LocalScreens ScreensFromQt();

// The primary screen's size in device-independent pixels; empty without one.
QSize PrimaryScreenSize();

}  // namespace corvala
