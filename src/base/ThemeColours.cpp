#include "base/ThemeColours.h"

namespace corvala {

ThemeColours ThemeColours::Default() {
    ThemeColours t{};
    t.IconColour = 0xFFFFFF;
    t.BorderColour = 0x006ABA;
    t.BorderWidth = 2;
    t.CaptionColour = 0x006ABA;
    t.CaptionTextColour = 0xFFFFFF;
    t.CaptionButtonHoverColour = 0x0384DA;
    t.CaptionButtonPressedColour = 0x035E94;
    t.CloseHoverColour = 0xE3413E;
    t.ClosePressedColour = 0x931815;
    t.PanelColour = 0xE6F7FF;
    t.ButtonColour = 0x0078D7;
    t.ButtonHoverColour = 0x2B8EDE;
    t.ButtonPressedColour = 0x005A9E;
    t.DisabledButtonColour = 0xC0C0C0;
    t.LinkColour = 0x0078D7;
    t.IdTextColour = 0x0373BA;
    t.ChatPeerNameColour = 0x006ABA;
    t.ChatOwnNameColour = 0x000000;
    t.TabPassiveColour = 0x6E6E6E;
    t.TabHoverColour = 0x5C5C5C;
    t.TabActiveColour = 0x363636;
    t.TabFontColour = 0xFFFFFF;
    t.RemoteAreaColour = 0x363636;
    return t;
}

ThemeColours ThemeColours::Branded() {
    ThemeColours t = Default();
    t.IconColour = 0x000000;
    t.BorderColour = 0x707070;
    t.BorderWidth = 1;
    t.CaptionColour = 0xFFFFFF;
    t.CaptionTextColour = 0x000000;
    t.CaptionButtonHoverColour = 0xE5E5E5;
    t.CaptionButtonPressedColour = 0xCBCACA;
    t.CloseHoverColour = 0xE81123;
    t.ClosePressedColour = 0xF1707A;
    t.PanelColour = std::nullopt;
    t.ButtonColour = 0xABC6DE;
    t.ButtonHoverColour = 0xBFD3E6;
    t.ButtonPressedColour = 0x5F92C0;
    t.DisabledButtonColour = 0xC0C0C0;
    t.LinkColour = 0x0354A5;
    t.IdTextColour = 0x0354A5;
    t.ChatPeerNameColour = 0x0354A5;
    t.ChatOwnNameColour = 0x000000;
    t.TabPassiveColour = 0x808080;
    t.TabHoverColour = 0x808080;
    t.TabActiveColour = 0x808080;
    t.TabFontColour = 0x808080;
    // RemoteAreaColour has no branded value and keeps the default.
    return t;
}

}  // namespace corvala
