#include "platform/linux/VirtualKeyKeysyms.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

#include <utility>

namespace corvala::platform::linuxos {

namespace {

constexpr std::pair<std::uint16_t, unsigned long> Keys[] = {
    {0x08, XK_BackSpace}, {0x09, XK_Tab}, {0x0C, XK_Clear}, {0x0D, XK_Return},
    {0x10, XK_Shift_L}, {0x11, XK_Control_L}, {0x12, XK_Alt_L}, {0x13, XK_Pause}, {0x14, XK_Caps_Lock},
    {0x15, XK_Hangul}, {0x17, XK_Hangul_Jeonja}, {0x19, XK_Hangul_Hanja}, {0x1B, XK_Escape},
    {0x1C, XK_Henkan}, {0x1D, XK_Muhenkan}, {0x1F, XK_Mode_switch}, {0x20, XK_space},
    {0x21, XK_Prior}, {0x22, XK_Next}, {0x23, XK_End}, {0x24, XK_Home},
    {0x25, XK_Left}, {0x26, XK_Up}, {0x27, XK_Right}, {0x28, XK_Down},
    {0x29, XK_Select}, {0x2A, XK_Print}, {0x2B, XK_Execute}, {0x2C, XK_Print},
    {0x2D, XK_Insert}, {0x2E, XK_Delete}, {0x2F, XK_Help},
    {0x5B, XK_Super_L}, {0x5C, XK_Super_R}, {0x5D, XK_Menu}, {0x5F, XF86XK_Sleep},
    {0x60, XK_KP_0}, {0x61, XK_KP_1}, {0x62, XK_KP_2}, {0x63, XK_KP_3}, {0x64, XK_KP_4},
    {0x65, XK_KP_5}, {0x66, XK_KP_6}, {0x67, XK_KP_7}, {0x68, XK_KP_8}, {0x69, XK_KP_9},
    {0x6A, XK_KP_Multiply}, {0x6B, XK_KP_Add}, {0x6C, XK_KP_Separator}, {0x6D, XK_KP_Subtract},
    {0x6E, XK_KP_Decimal}, {0x6F, XK_KP_Divide},
    {0x90, XK_Num_Lock}, {0x91, XK_Scroll_Lock},
    {0xA0, XK_Shift_L}, {0xA1, XK_Shift_R}, {0xA2, XK_Control_L}, {0xA3, XK_Control_R},
    {0xA4, XK_Alt_L}, {0xA5, XK_Alt_R},
    {0xA6, XF86XK_Back}, {0xA7, XF86XK_Forward}, {0xA8, XF86XK_Refresh}, {0xA9, XF86XK_Stop},
    {0xAA, XF86XK_Search}, {0xAB, XF86XK_Favorites}, {0xAC, XF86XK_HomePage},
    {0xAD, XF86XK_AudioMute}, {0xAE, XF86XK_AudioLowerVolume}, {0xAF, XF86XK_AudioRaiseVolume},
    {0xB0, XF86XK_AudioNext}, {0xB1, XF86XK_AudioPrev}, {0xB2, XF86XK_AudioStop}, {0xB3, XF86XK_AudioPlay},
    {0xB4, XF86XK_Mail}, {0xB5, XF86XK_AudioMedia}, {0xB6, XF86XK_MyComputer}, {0xB7, XF86XK_Calculator},
    {0xBA, XK_semicolon}, {0xBB, XK_equal}, {0xBC, XK_comma}, {0xBD, XK_minus}, {0xBE, XK_period},
    {0xBF, XK_slash}, {0xC0, XK_grave}, {0xDB, XK_bracketleft}, {0xDC, XK_backslash},
    {0xDD, XK_bracketright}, {0xDE, XK_apostrophe}, {0xE2, XK_less},
    {0xFA, XF86XK_AudioPlay},
};

}  // namespace

unsigned long KeysymForVirtualKey(std::uint16_t vk, bool extended) {
    if (vk >= 'A' && vk <= 'Z') return XK_a + (vk - 'A');
    if (vk >= '0' && vk <= '9') return XK_0 + (vk - '0');
    if (vk >= 0x70 && vk <= 0x87) return XK_F1 + (vk - 0x70);
    if (extended) {
        switch (vk) {
        case 0x0D: return XK_KP_Enter;
        case 0x11: return XK_Control_R;
        case 0x12: return XK_Alt_R;
        default: break;
        }
    }
    for (const auto& [code, keysym] : Keys)
        if (code == vk) return keysym;
    return 0;
}

unsigned long KeysymForCharacter(char32_t cp) {
    // Latin-1 characters are their own keysyms; everything else uses the
    // Unicode keysym range.
    if ((cp >= 0x20 && cp <= 0x7E) || (cp >= 0xA0 && cp <= 0xFF)) return cp;
    return 0x01000000UL | cp;
}

}  // namespace corvala::platform::linuxos
