#include "control/QtKeyToVirtualKey.h"

#include <utility>

namespace corvala {

namespace {

constexpr std::pair<int, int> KeypadKeys[] = {
    {Qt::Key_0, 0x60}, {Qt::Key_1, 0x61}, {Qt::Key_2, 0x62}, {Qt::Key_3, 0x63}, {Qt::Key_4, 0x64},
    {Qt::Key_5, 0x65}, {Qt::Key_6, 0x66}, {Qt::Key_7, 0x67}, {Qt::Key_8, 0x68}, {Qt::Key_9, 0x69},
    {Qt::Key_Asterisk, 0x6A}, {Qt::Key_Plus, 0x6B}, {Qt::Key_Comma, 0x6C}, {Qt::Key_Minus, 0x6D},
    {Qt::Key_Period, 0x6E}, {Qt::Key_Slash, 0x6F}, {Qt::Key_Enter, 0x0D},
    // With Num Lock off the pad sends its navigation meanings.
    {Qt::Key_Insert, 0x2D}, {Qt::Key_Delete, 0x2E}, {Qt::Key_End, 0x23}, {Qt::Key_Down, 0x28},
    {Qt::Key_PageDown, 0x22}, {Qt::Key_Left, 0x25}, {Qt::Key_Clear, 0x0C}, {Qt::Key_Right, 0x27},
    {Qt::Key_Home, 0x24}, {Qt::Key_Up, 0x26}, {Qt::Key_PageUp, 0x21},
};

constexpr std::pair<int, int> Keys[] = {
    {Qt::Key_Backspace, 0x08}, {Qt::Key_Tab, 0x09}, {Qt::Key_Backtab, 0x09}, {Qt::Key_Clear, 0x0C},
    {Qt::Key_Return, 0x0D}, {Qt::Key_Enter, 0x0D}, {Qt::Key_Shift, 0x10}, {Qt::Key_Control, 0x11},
    {Qt::Key_Alt, 0x12}, {Qt::Key_AltGr, 0xA5}, {Qt::Key_Pause, 0x13}, {Qt::Key_CapsLock, 0x14},
    {Qt::Key_Hangul, 0x15}, {Qt::Key_Kana_Shift, 0x15}, {Qt::Key_Hangul_Hanja, 0x19}, {Qt::Key_Kanji, 0x19},
    {Qt::Key_Escape, 0x1B}, {Qt::Key_Henkan, 0x1C}, {Qt::Key_Muhenkan, 0x1D}, {Qt::Key_Space, 0x20},
    {Qt::Key_PageUp, 0x21}, {Qt::Key_PageDown, 0x22}, {Qt::Key_End, 0x23}, {Qt::Key_Home, 0x24},
    {Qt::Key_Left, 0x25}, {Qt::Key_Up, 0x26}, {Qt::Key_Right, 0x27}, {Qt::Key_Down, 0x28},
    {Qt::Key_Select, 0x29}, {Qt::Key_Printer, 0x2A}, {Qt::Key_Execute, 0x2B}, {Qt::Key_Print, 0x2C},
    {Qt::Key_SysReq, 0x2C}, {Qt::Key_Insert, 0x2D}, {Qt::Key_Delete, 0x2E}, {Qt::Key_Help, 0x2F},
    {Qt::Key_Meta, 0x5B}, {Qt::Key_Super_L, 0x5B}, {Qt::Key_Super_R, 0x5C}, {Qt::Key_Menu, 0x5D},
    {Qt::Key_Sleep, 0x5F}, {Qt::Key_NumLock, 0x90}, {Qt::Key_ScrollLock, 0x91},
    // Browser and media keys.
    {Qt::Key_Back, 0xA6}, {Qt::Key_Forward, 0xA7}, {Qt::Key_Refresh, 0xA8}, {Qt::Key_Stop, 0xA9},
    {Qt::Key_Search, 0xAA}, {Qt::Key_Favorites, 0xAB}, {Qt::Key_HomePage, 0xAC}, {Qt::Key_VolumeMute, 0xAD},
    {Qt::Key_VolumeDown, 0xAE}, {Qt::Key_VolumeUp, 0xAF}, {Qt::Key_MediaNext, 0xB0},
    {Qt::Key_MediaPrevious, 0xB1}, {Qt::Key_MediaStop, 0xB2}, {Qt::Key_MediaPlay, 0xB3},
    {Qt::Key_MediaTogglePlayPause, 0xB3}, {Qt::Key_LaunchMail, 0xB4}, {Qt::Key_LaunchMedia, 0xB5},
    {Qt::Key_Launch0, 0xB6}, {Qt::Key_Launch1, 0xB7}, {Qt::Key_Calculator, 0xB7}, {Qt::Key_Play, 0xFA},
    // Digits and the symbols a US layout puts on them.
    {Qt::Key_ParenRight, 0x30}, {Qt::Key_Exclam, 0x31}, {Qt::Key_At, 0x32}, {Qt::Key_NumberSign, 0x33},
    {Qt::Key_Dollar, 0x34}, {Qt::Key_Percent, 0x35}, {Qt::Key_AsciiCircum, 0x36}, {Qt::Key_Ampersand, 0x37},
    {Qt::Key_Asterisk, 0x38}, {Qt::Key_ParenLeft, 0x39},
    // US punctuation keys, plain and shifted.
    {Qt::Key_Semicolon, 0xBA}, {Qt::Key_Colon, 0xBA}, {Qt::Key_Equal, 0xBB}, {Qt::Key_Plus, 0xBB},
    {Qt::Key_Comma, 0xBC}, {Qt::Key_Less, 0xBC}, {Qt::Key_Minus, 0xBD}, {Qt::Key_Underscore, 0xBD},
    {Qt::Key_Period, 0xBE}, {Qt::Key_Greater, 0xBE}, {Qt::Key_Slash, 0xBF}, {Qt::Key_Question, 0xBF},
    {Qt::Key_QuoteLeft, 0xC0}, {Qt::Key_AsciiTilde, 0xC0}, {Qt::Key_BracketLeft, 0xDB},
    {Qt::Key_BraceLeft, 0xDB}, {Qt::Key_Backslash, 0xDC}, {Qt::Key_Bar, 0xDC}, {Qt::Key_BracketRight, 0xDD},
    {Qt::Key_BraceRight, 0xDD}, {Qt::Key_Apostrophe, 0xDE}, {Qt::Key_QuoteDbl, 0xDE},
};

int Find(const auto& table, int qtKey) {
    for (const auto& [key, code] : table)
        if (key == qtKey) return code;
    return 0;
}

}  // namespace

int VirtualKeyFromQtKey(int qtKey, Qt::KeyboardModifiers modifiers) {
    if (modifiers.testFlag(Qt::KeypadModifier))
        if (const int code = Find(KeypadKeys, qtKey)) return code;
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return 0x41 + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return 0x30 + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 0x70 + (qtKey - Qt::Key_F1);
    return Find(Keys, qtKey);
}

}  // namespace corvala
