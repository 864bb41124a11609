#pragma once
// Windows virtual-key codes (what the data channel carries) to X keysyms,
// for the keys of a keyboard: letters, digits, F1-F24, navigation, the
// numeric pad, modifiers, the punctuation of a US layout, and the browser
// and media keys that X names.

#include <cstdint>

namespace corvala::platform::linuxos {

// 0 when X has no keysym for the code. `extended` picks the dedicated key
// where the code is shared (Enter on the pad, the right Control and Alt).
unsigned long KeysymForVirtualKey(std::uint16_t virtualKey, bool extended);

// The keysym that types one Unicode character whatever the layout.
unsigned long KeysymForCharacter(char32_t codePoint);

}  // namespace corvala::platform::linuxos
