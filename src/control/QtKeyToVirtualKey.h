#pragma once
// The Windows virtual-key code that the data channel carries for a key the
// viewer's window received. Shifted symbols of a US layout give the code of
// their key ("!" is the "1" key), numeric-pad keys their pad codes.

#include <Qt>

namespace corvala {

// 0 when the key has no virtual-key code (the window then sends nothing).
int VirtualKeyFromQtKey(int qtKey, Qt::KeyboardModifiers modifiers);

}  // namespace corvala
