#pragma once
// The four kinds of the program's message box. The core names the kind of
// what it has to say; the windows draw it.

namespace corvala {

enum class MessageKind { Warning = 0, Error = 1, Confirm = 2, Information = 3 };

}  // namespace corvala
