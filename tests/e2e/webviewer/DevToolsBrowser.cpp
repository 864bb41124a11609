#include "DevToolsBrowser.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <openssl/evp.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace corvala::e2e {

namespace beast = boost::beast;
namespace net = boost::asio;
using nlohmann::json;

struct DevToolsBrowser::Connection {
    net::io_context io;
    beast::websocket::stream<beast::tcp_stream> ws{io};
};

namespace {

std::string Spki(const std::string& certificate) {
    return RunCommand("openssl x509 -in '" + certificate +
                      "' -pubkey -noout | openssl pkey -pubin -outform der | openssl dgst -sha256 -binary | base64")
        .output;
}

}  // namespace

DevToolsBrowser::DevToolsBrowser(const std::filesystem::path& folder, const std::string& trustedCertificate,
                                 const std::string& language) {
    std::filesystem::create_directories(folder / "profile");
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{
            "/usr/bin/chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
            "--no-default-browser-check", "--disable-background-networking", "--disable-component-update",
            "--disable-sync", "--mute-audio", "--autoplay-policy=no-user-gesture-required",
            "--allow-loopback-in-peer-connection", "--disable-features=WebRtcHideLocalIpsWithMdns",
            "--window-size=1400,1000", "--lang=" + language,
            "--ignore-certificate-errors-spki-list=" + Spki(trustedCertificate),
            "--user-data-dir=" + (folder / "profile").string(), "--remote-debugging-port=0", "about:blank"},
        std::map<std::string, std::string>{{"LANGUAGE", language}}, folder / "chromium.log");
    // The browser writes its DevTools port and path once it listens.
    std::string port, path;
    WaitFor(
        [&] {
            std::ifstream in(folder / "profile" / "DevToolsActivePort");
            return std::getline(in, port) && std::getline(in, path) && !path.empty();
        },
        30s);
    if (path.empty()) return;
    connection_ = std::make_unique<Connection>();
    beast::error_code ec;
    beast::get_lowest_layer(connection_->ws).connect({net::ip::make_address("127.0.0.1"),
                                                      static_cast<unsigned short>(std::stoi(port))}, ec);
    if (!ec) connection_->ws.handshake("127.0.0.1:" + port, path, ec);
    if (ec) return;
    const json target = Call("Target.createTarget", {{"url", "about:blank"}}, false);
    const json attached =
        Call("Target.attachToTarget", {{"targetId", target.value("targetId", "")}, {"flatten", true}}, false);
    if (attached.contains("sessionId")) page_ = attached["sessionId"].get<std::string>();
    if (!page_) return;
    Call("Page.enable", json::object());
    // Headless Chromium ignores --lang for navigator.languages; the page's
    // language comes from this override instead.
    const std::string agent = Call("Browser.getVersion", json::object(), false).value("userAgent", "");
    Call("Emulation.setUserAgentOverride", {{"userAgent", agent}, {"acceptLanguage", language}});
}

DevToolsBrowser::~DevToolsBrowser() {
    connection_.reset();
    process_.reset();
}

json DevToolsBrowser::Call(const std::string& method, json params, bool onPage) {
    if (!connection_) return json::object();
    const int id = nextId_++;
    json request{{"id", id}, {"method", method}, {"params", std::move(params)}};
    if (onPage && page_) request["sessionId"] = *page_;
    beast::error_code ec;
    connection_->ws.write(net::buffer(request.dump()), ec);
    // Answers come in order with events between them; the events are skipped.
    const auto until = std::chrono::steady_clock::now() + 30s;
    while (!ec && std::chrono::steady_clock::now() < until) {
        beast::flat_buffer buffer;
        beast::get_lowest_layer(connection_->ws).expires_after(30s);
        connection_->ws.read(buffer, ec);
        if (ec) break;
        const json message = json::parse(beast::buffers_to_string(buffer.data()), nullptr, false);
        if (message.is_object() && message.value("id", 0) == id) return message.value("result", json::object());
    }
    return json::object();
}

bool DevToolsBrowser::Navigate(const std::string& url) {
    Call("Page.navigate", {{"url", url}});
    return WaitFor([&] { return Evaluate("document.readyState") == json("complete"); }, 30s);
}

std::optional<json> DevToolsBrowser::Evaluate(const std::string& expression) {
    const json result =
        Call("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}});
    if (result.contains("exceptionDetails") || !result.contains("result")) return std::nullopt;
    return result["result"].value("value", json());
}

void DevToolsBrowser::Click(int x, int y) {
    Call("Input.dispatchMouseEvent", {{"type", "mouseMoved"}, {"x", x}, {"y", y}});
    for (const char* type : {"mousePressed", "mouseReleased"})
        Call("Input.dispatchMouseEvent",
             {{"type", type}, {"x", x}, {"y", y}, {"button", "left"}, {"buttons", 1}, {"clickCount", 1}});
}

void DevToolsBrowser::PressKey(const std::string& key, int keyCode, const std::string& text) {
    Call("Input.dispatchKeyEvent",
         {{"type", "keyDown"}, {"key", key}, {"windowsVirtualKeyCode", keyCode}, {"text", text}});
    Call("Input.dispatchKeyEvent", {{"type", "keyUp"}, {"key", key}, {"windowsVirtualKeyCode", keyCode}});
}

bool DevToolsBrowser::Screenshot(const std::filesystem::path& png) {
    const std::string data = Call("Page.captureScreenshot", {{"format", "png"}}).value("data", "");
    if (data.empty()) return false;
    std::string bytes(data.size(), '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                  reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
    if (n <= 0) return false;
    // EVP_DecodeBlock counts the padding as zero bytes.
    std::size_t size = static_cast<std::size_t>(n);
    for (auto it = data.rbegin(); it != data.rend() && *it == '='; ++it) --size;
    std::ofstream(png, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
    return true;
}

std::string DevToolsBrowser::Log() const { return process_ ? process_->Log() : std::string(); }

}  // namespace corvala::e2e
