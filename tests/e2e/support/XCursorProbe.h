#pragma once
// The pointer's cursor shape on an X display: a window that shows a named
// cursor (as a toolkit loading a themed cursor would name it), and a probe
// of the cursor the pointer currently has.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvala::e2e {

// The cursor the pointer shows: its name (empty for an unnamed cursor) and
// its picture.
struct PointerCursor {
    std::string name;
    int width = 0, height = 0, xhot = 0, yhot = 0;
    std::vector<std::uint32_t> pixels;
    bool SamePicture(const PointerCursor& other) const {
        return width == other.width && height == other.height && xhot == other.xhot && yhot == other.yhot &&
               pixels == other.pixels;
    }
};
std::optional<PointerCursor> CurrentCursor(const std::string& display);

// A window over the whole display, filled with `background` (0xRRGGBB),
// whose cursor the test sets. Its own X connection; gone with the object.
class CursorWindow {
public:
    CursorWindow(const std::string& display, unsigned long background);
    ~CursorWindow();
    bool Ok() const;
    // `shape`: a glyph of the X cursor font (XC_*), named `name`.
    void SetCursor(const std::string& name, unsigned shape);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace corvala::e2e
