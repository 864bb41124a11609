#pragma once
// The interface colours and border width that every window paints with.
// Colours are 0xRRGGBB.

#include <cstdint>
#include <optional>

namespace corvala {

using Rgb = std::uint32_t;

struct ThemeColours {
    Rgb IconColour;
    Rgb BorderColour;
    int BorderWidth;
    Rgb CaptionColour;
    Rgb CaptionTextColour;
    Rgb CaptionButtonHoverColour;
    Rgb CaptionButtonPressedColour;
    Rgb CloseHoverColour;
    Rgb ClosePressedColour;
    // nullopt: the system's button-face colour (the branded panel).
    std::optional<Rgb> PanelColour;
    Rgb ButtonColour;
    Rgb ButtonHoverColour;
    Rgb ButtonPressedColour;
    Rgb DisabledButtonColour;
    Rgb LinkColour;
    Rgb IdTextColour;
    Rgb ChatPeerNameColour;
    Rgb ChatOwnNameColour;
    Rgb TabPassiveColour;
    Rgb TabHoverColour;
    Rgb TabActiveColour;
    Rgb TabFontColour;
    Rgb RemoteAreaColour;

    // Glyph bitmaps carry this key colour (RGB #E3ECF4) wherever IconColour goes.
    static constexpr Rgb IconKeyColour = 0xE3ECF4;

    static ThemeColours Default();
    // The default set with every slot that has a branded value replaced.
    static ThemeColours Branded();
};

}  // namespace corvala
