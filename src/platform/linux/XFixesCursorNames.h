#pragma once
#include "platform/CursorNames.h"

#include <string>

typedef struct _XDisplay Display;

namespace corvala::platform::linuxos {

// Reads the name of the pointer's current cursor through XFixes (cursor
// themes name every cursor they load). One connection of its own.
class XFixesCursorNames : public ICursorNames {
public:
    explicit XFixesCursorNames(const std::string& displayName = {});
    ~XFixesCursorNames() override;
    XFixesCursorNames(const XFixesCursorNames&) = delete;
    XFixesCursorNames& operator=(const XFixesCursorNames&) = delete;

    bool Available() const { return display_ != nullptr; }
    std::optional<std::string> CurrentCursorName() override;

private:
    Display* display_ = nullptr;
};

}  // namespace corvala::platform::linuxos
