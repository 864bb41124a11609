#pragma once
#include <QObject>

#include "platform/Clipboard.h"

namespace corvala::platform::linuxos {

// The X11 selections through QClipboard. What a user copies (Ctrl+C) is the
// CLIPBOARD selection: that is the one watched and read, as the one
// clipboard of other desktops. Text put here goes to CLIPBOARD and to the
// PRIMARY selection, so that it pastes with Ctrl+V and with the middle
// button alike; merely selected text (PRIMARY) is never read.
class QtClipboard : public QObject, public IClipboard {
    Q_OBJECT
public:
    std::optional<QString> Text() const override;
    void SetText(const QString& text) override;
    void SetImage(const DesktopPicture& picture) override;
    void Watch(std::function<void()> changed) override;
};

}  // namespace corvala::platform::linuxos
