#pragma once
// Cursor-shape codes exchanged on the data channel ("C" + code): the host
// names the shape of its pointer, the viewer shows the local cursor of the
// same kind over the remote picture. 0 means any other shape.
//
// On X the host reads the name its pointer's cursor was loaded under (the
// cursor theme names, both the classic X names and the CSS-style names).

#include <QString>
#include <Qt>

#include <optional>
#include <string_view>

namespace corvala {

inline constexpr int CursorCodeCount = 14;

// The code of an X cursor name; 0 for names outside the table (and for none).
int CursorCodeForName(std::string_view name);

// The viewer's cursor for a code 0..14.
Qt::CursorShape CursorShapeForCode(int code);

// A received "C" message: the digits after the "C" up to the first
// non-digit; nothing when there are none, or the value exceeds 14.
std::optional<Qt::CursorShape> CursorShapeForMessage(const QString& message);

// The host's 100 ms cursor monitor: sends "C" + code to every peer when the
// shape changed, and only while a viewer can use it.
class CursorShapeMonitor {
public:
    struct Conditions {
        bool eventsSuspended = false;
        bool masterMode = false;
        bool allowOnlyViewing = false;
        bool anyPeer = false;
        bool transferIdle = true;
    };
    // `cursorName`: nothing when the cursor could not be read. Returns the
    // message to send with SendDataToPeer to every peer, if any.
    std::optional<QString> Tick(const Conditions& conditions, const std::optional<std::string>& cursorName);
    const QString& LastCursorCode() const { return LastCursorCode_; }

private:
    QString LastCursorCode_;
};

}  // namespace corvala
