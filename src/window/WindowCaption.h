#pragma once
// The caption text of the main window (UpdateWindowCaption) and the host
// panel's activity indicator sequence.

#include <QString>

namespace corvala {

struct WindowCaption {
    QString Text;
    // The info and contact buttons stand right of the label while peers are
    // connected.
    bool ShowInfoButtons = false;
};

// No peers: the product and its version (the version left out while only
// viewing is allowed); peers: the translated "Connections: %s" with their
// number. Only viewing allowed: the translated "DEMONSTRATION - " in front.
WindowCaption ComposeWindowCaption(int peerCount, bool allowOnlyViewing, const QString& product,
                                   const QString& version);

// The four shapes of the activity indicator lit one after another: shape 1,
// 2, 3, 4, none, and again. Nothing moves while the first shape is hidden.
class ActivitySequence {
public:
    static constexpr int None = -1;
    // TimerActivityAnimation's tick; the index (0-3) of the lit shape or None.
    int Step(bool firstShapeVisible);
    int Lit() const { return FLit; }
    void Reset() { FLit = None; }

private:
    int FLit = None;
};

}  // namespace corvala
