#pragma once
// crweb's routes: the web-site pages from a content folder, extra files
// mapped onto paths (the newest executable, the printer installer), and the
// tools paths (caller's address, country, relay probe).

#include "CountryLookup.h"
#include "TurnCheck.h"

#include <httplib.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace corvala::web {

struct WebOptions {
    std::string bindAddress = "0.0.0.0";
    int port = 8080;  // 0 picks a free port (printed at start)
    std::string contentDir;
    std::map<std::string, std::string> files;  // URL path -> file
    // Served with chunked transfer encoding (no announced length).
    std::map<std::string, std::string> chunkedFiles;  // URL path -> file
    // Bytes per second for the mapped files; 0: as fast as the link goes.
    // Lets tests watch a download's progress and abort it midway.
    double fileRate = 0;
    // TLS: the certificate chain and its key (PEM); both empty: plain HTTP.
    std::string certificateChain;
    std::string privateKey;
    std::string geoipDatabase = CountryLookup::kDefaultDatabase;
    TurnCheckLimits turnCheck;
};

std::optional<WebOptions> ParseWebOptions(int argc, char** argv, std::string& message, int& exitCode);

class WebService {
public:
    explicit WebService(WebOptions options);
    httplib::Server& server() { return *server_; }
    // False when the TLS certificate or key could not be loaded.
    bool valid() const { return server_->is_valid(); }

private:
    void routes();

    WebOptions options_;
    CountryLookup countries_;
    TurnCheck turnCheck_;
    std::unique_ptr<httplib::Server> server_;
};

}  // namespace corvala::web
