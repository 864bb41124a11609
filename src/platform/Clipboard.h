#pragma once
// The desktop's clipboard as clipboard sharing uses it.

#include <QString>

#include <functional>
#include <optional>

#include "platform/DesktopCapture.h"

namespace corvala::platform {

class IClipboard {
public:
    virtual ~IClipboard() = default;
    // The text on the clipboard; nothing when it holds no text (or cannot be
    // read just now).
    virtual std::optional<QString> Text() const = 0;
    // Puts text on the clipboard: where the desktop keeps several
    // selections, on each that a user pastes from.
    virtual void SetText(const QString& text) = 0;
    virtual void SetImage(const DesktopPicture& picture) = 0;
    // `changed` runs on the main thread whenever the clipboard the user
    // copies to changes, this program's own changes included.
    virtual void Watch(std::function<void()> changed) = 0;
};

}  // namespace corvala::platform
