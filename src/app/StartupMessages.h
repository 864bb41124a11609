#pragma once
// How start-up tells the user why it ends. Texts are shown untranslated:
// the language table is not in use yet.

#include <string>

namespace corvala {

class IStartupMessages {
public:
    virtual ~IStartupMessages() = default;
    virtual void Warning(const std::string& text) = 0;
    virtual void Error(const std::string& text) = 0;
};

}  // namespace corvala
