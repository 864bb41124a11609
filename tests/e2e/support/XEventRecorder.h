#pragma once
// A window over a whole X display that records the clicks and key presses
// reaching it, with the moment each arrived. Its own X connection and reader
// thread; gone with the object.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace corvala::e2e {

class XEventRecorder {
public:
    struct Click {
        int x, y;
        unsigned button;
    };
    struct Key {
        std::string text;  // what the key types, empty for keys that type nothing
        std::chrono::steady_clock::time_point arrived;
    };

    // `background`: 0xRRGGBB the window is filled with.
    XEventRecorder(const std::string& display, unsigned long background);
    ~XEventRecorder();
    bool Ok() const;

    std::vector<Click> Clicks() const;
    std::vector<Key> Keys() const;
    std::string Typed() const;  // the texts of all keys so far

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace corvala::e2e
