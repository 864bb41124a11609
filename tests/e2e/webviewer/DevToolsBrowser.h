#pragma once
// Debian's Chromium, headless, driven over the DevTools protocol (a
// WebSocket on loopback, spoken with Boost.Beast): one page whose scripts the
// test evaluates and into which it sends real mouse and key events. The
// profile is a throw-away folder; the browser trusts exactly one extra
// server key (the development PKI's), by its SPKI hash.

#include "E2eSupport.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace corvala::e2e {

class DevToolsBrowser {
public:
    // `trustedCertificate`: a PEM certificate whose key the browser accepts.
    DevToolsBrowser(const std::filesystem::path& folder, const std::string& trustedCertificate,
                    const std::string& language = "en-US");
    ~DevToolsBrowser();

    bool Ok() const { return page_.has_value(); }
    // Opens `url` in the page; true once it has loaded.
    bool Navigate(const std::string& url);
    // The value of a script expression (promises awaited); nothing when it threw.
    std::optional<nlohmann::json> Evaluate(const std::string& expression);
    // A left click at (x, y) of the page.
    void Click(int x, int y);
    // One key press and release: `key` as the browser names it, its Windows
    // key code (0 for a character without one) and the text it types.
    void PressKey(const std::string& key, int keyCode, const std::string& text);
    bool Screenshot(const std::filesystem::path& png);
    std::string Log() const;

private:
    nlohmann::json Call(const std::string& method, nlohmann::json params, bool onPage = true);

    struct Connection;
    std::unique_ptr<ChildProcess> process_;
    std::unique_ptr<Connection> connection_;
    std::optional<std::string> page_;  // the DevTools session of the page
    int nextId_ = 1;
};

}  // namespace corvala::e2e
