#include "WebService.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace corvala::web {
namespace {

constexpr char kHelp[] = R"(Usage: crweb [options]

Corvala product web service: the web-site pages and the tools paths
(/ip-check.php, /country-check.php, /turn-check.php) over HTTP or HTTPS.

Options:
  --port PORT                 TCP port (default 8080; 0 picks a free one)
  --bind ADDRESS              address to listen on (default 0.0.0.0)
  --content DIR               folder served as the web site (default: the
                              content folder shipped with the sources)
  --file URLPATH=FILE         serve FILE under URLPATH, e.g.
                              --file /download/corvala=bin/cr (repeatable)
  --chunked-file URLPATH=FILE like --file, with chunked transfer encoding
                              (no announced length)
  --file-rate BYTES           serve the files of --file and --chunked-file at
                              most this many bytes per second (for tests)
  --cert FILE --key FILE      serve HTTPS with this certificate chain and key
                              (PEM) instead of plain HTTP
  --geoip FILE                GeoIP country database (default
                              /usr/share/GeoIP/GeoIP.dat; "none": every
                              country answer is "XX")
  --turn-check-rate N         relay probes per caller and minute (default 6)
  --turn-check-burst N        probes a caller may make at once (default 3)
  --turn-check-total N        probes per second for all callers (default 50)
  --turn-check-any-target     allow probes of addresses other than the caller's
  --help                      show this text
)";

double positive(std::string_view flag, std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value <= 0)
        throw std::invalid_argument("invalid value for " + std::string(flag));
    return value;
}

// Addresses of IPv4 callers reached over an IPv6 socket read as plain IPv4.
std::string callerAddress(const httplib::Request& req) {
    constexpr std::string_view mapped = "::ffff:";
    if (req.remote_addr.starts_with(mapped) && req.remote_addr.find('.') != std::string::npos)
        return req.remote_addr.substr(mapped.size());
    return req.remote_addr;
}

// httplib routes are regular expressions; a mapped path matches only itself.
std::string literalPattern(const std::string& path) {
    std::string pattern;
    for (const char c : path) {
        if (std::string_view(R"(\^$.|?*+()[]{})").find(c) != std::string_view::npos) pattern += '\\';
        pattern += c;
    }
    return pattern;
}

// Pieces of a file as the content providers send them: at most 64 KiB, and
// with a rate, a tenth of a second's worth followed by that pause.
size_t pieceSize(double rate) {
    return rate > 0 ? std::clamp<size_t>(static_cast<size_t>(rate / 10), 1, 65536) : 65536;
}
void pace(double rate, size_t bytes) {
    if (rate > 0) std::this_thread::sleep_for(std::chrono::duration<double>(static_cast<double>(bytes) / rate));
}

void serveFile(const std::filesystem::path& file, httplib::Response& res, const char* type, double rate = 0) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec || !std::filesystem::is_regular_file(file)) {
        res.status = 404;
        return;
    }
    auto in = std::make_shared<std::ifstream>(file, std::ios::binary);
    res.set_content_provider(size, type, [in, rate](size_t offset, size_t length, httplib::DataSink& sink) {
        std::vector<char> chunk(std::min(length, pieceSize(rate)));
        in->seekg(static_cast<std::streamoff>(offset));
        in->read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = in->gcount();
        if (got <= 0 || !sink.write(chunk.data(), static_cast<size_t>(got))) return false;
        pace(rate, static_cast<size_t>(got));
        return true;
    });
}

void serveChunked(const std::filesystem::path& file, httplib::Response& res, double rate) {
    if (!std::filesystem::is_regular_file(file)) {
        res.status = 404;
        return;
    }
    auto in = std::make_shared<std::ifstream>(file, std::ios::binary);
    res.set_chunked_content_provider("application/octet-stream", [in, rate](size_t, httplib::DataSink& sink) {
        std::vector<char> chunk(pieceSize(rate));
        in->read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = in->gcount();
        if (got <= 0) {
            sink.done();
            return true;
        }
        if (!sink.write(chunk.data(), static_cast<size_t>(got))) return false;
        pace(rate, static_cast<size_t>(got));
        return true;
    });
}

}  // namespace

std::optional<WebOptions> ParseWebOptions(int argc, char** argv, std::string& message, int& exitCode) {
    WebOptions o;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string_view flag = argv[i];
            if (flag == "--help" || flag == "-h") {
                message = kHelp;
                exitCode = 0;
                return std::nullopt;
            }
            if (flag == "--turn-check-any-target") {
                o.turnCheck.anyTarget = true;
                continue;
            }
            if (i + 1 >= argc) throw std::invalid_argument("missing value for " + std::string(flag));
            const std::string value = argv[++i];
            if (flag == "--port") {
                const auto port = ParsePort(value);
                if (!port && value != "0") throw std::invalid_argument("invalid port " + value);
                o.port = port.value_or(0);
            } else if (flag == "--bind") o.bindAddress = value;
            else if (flag == "--content") o.contentDir = value;
            else if (flag == "--file" || flag == "--chunked-file") {
                const auto eq = value.find('=');
                if (eq == std::string::npos || value.empty() || value[0] != '/')
                    throw std::invalid_argument(std::string(flag) + " needs URLPATH=FILE");
                (flag == "--file" ? o.files : o.chunkedFiles)[value.substr(0, eq)] = value.substr(eq + 1);
            } else if (flag == "--file-rate") o.fileRate = positive(flag, value);
            else if (flag == "--cert") o.certificateChain = value;
            else if (flag == "--key") o.privateKey = value; else if (flag == "--geoip") o.geoipDatabase = value == "none" ? std::string() : value;
            else if (flag == "--turn-check-rate") o.turnCheck.perCallerPerMinute = positive(flag, value);
            else if (flag == "--turn-check-burst") o.turnCheck.callerBurst = positive(flag, value);
            else if (flag == "--turn-check-total") o.turnCheck.totalPerSecond = positive(flag, value);
            else throw std::invalid_argument("unknown option " + std::string(flag));
        }
        if (o.certificateChain.empty() != o.privateKey.empty())
            throw std::invalid_argument("--cert and --key go together");
        if (o.contentDir.empty()) o.contentDir = CRWEB_DEFAULT_CONTENT;
        if (!std::filesystem::is_directory(o.contentDir))
            throw std::invalid_argument("content folder not found: " + o.contentDir);
    } catch (const std::exception& e) {
        message = std::string("crweb: ") + e.what() + "\n(see crweb --help)\n";
        exitCode = 2;
        return std::nullopt;
    }
    return o;
}

WebService::WebService(WebOptions options)
    : options_(std::move(options)), countries_(options_.geoipDatabase), turnCheck_(options_.turnCheck) {
    if (options_.certificateChain.empty())
        server_ = std::make_unique<httplib::Server>();
    else
        server_ = std::make_unique<httplib::SSLServer>(options_.certificateChain.c_str(), options_.privateKey.c_str());
    routes();
}

void WebService::routes() {
    // Static pages first: httplib looks at mount points before the handlers
    // below, which therefore only see what the content folder lacks.
    server_->set_mount_point("/", options_.contentDir);
    server_->set_file_extension_and_mimetype_mapping("htm", "text/html");

    const double rate = options_.fileRate;
    for (const auto& [path, file] : options_.files) {
        server_->Get(literalPattern(path), [file = file, rate](const httplib::Request&, httplib::Response& res) {
            serveFile(file, res, "application/octet-stream", rate);
        });
    }
    for (const auto& [path, file] : options_.chunkedFiles) {
        server_->Get(literalPattern(path), [file = file, rate](const httplib::Request&, httplib::Response& res) {
            serveChunked(file, res, rate);
        });
    }

    // A change list in a language we have no page for falls back to English.
    const std::filesystem::path english = std::filesystem::path(options_.contentDir) / "download" / "changes-en.html";
    server_->Get(R"(/download/changes-[A-Za-z_-]{1,16}\.html)", [english](const httplib::Request&, httplib::Response& res) {
        serveFile(english, res, "text/html; charset=utf-8");
    });

    server_->Get("/ip-check.php", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(callerAddress(req), "text/plain");
    });

    server_->Get("/country-check.php", [this](const httplib::Request& req, httplib::Response& res) {
        res.set_content(countries_.countryOf(req.get_param_value("ip")), "text/plain");
    });

    server_->Get("/turn-check.php", [this](const httplib::Request& req, httplib::Response& res) {
        using O = TurnCheck::Outcome;
        switch (turnCheck_.probe(callerAddress(req), req.get_param_value("server_ip"),
                                 req.get_param_value("server_port"))) {
        case O::Sent: res.set_content("sent", "text/plain"); break;
        case O::BadRequest: res.status = 400; res.set_content("server_ip must be an IPv4 address and server_port a port", "text/plain"); break;
        case O::Forbidden: res.status = 403; res.set_content("only the caller's own address is probed", "text/plain"); break;
        case O::TooManyRequests: res.status = 429; res.set_content("too many probes", "text/plain"); break;
        case O::SendFailed: res.status = 502; res.set_content("could not send", "text/plain"); break;
        }
    });
}

}  // namespace corvala::web
