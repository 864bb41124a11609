#pragma once
// crweb's routes: the web-site pages from a content folder, extra files
// mapped onto paths (the newest executable, the printer installer), and the
// tools paths (caller's address, country, relay probe).

#include "CountryLookup.h"
#include "TurnCheck.h"

#include <httplib.h>

#include <map>
#include <optional>
#include <string>

namespace corvala::web {

struct WebOptions {
    std::string bindAddress = "0.0.0.0";
    int port = 8080;  // 0 picks a free port (printed at start)
    std::string contentDir;
    std::map<std::string, std::string> files;  // URL path -> file
    std::string geoipDatabase = CountryLookup::kDefaultDatabase;
    TurnCheckLimits turnCheck;
};

std::optional<WebOptions> ParseWebOptions(int argc, char** argv, std::string& message, int& exitCode);

class WebService {
public:
    explicit WebService(WebOptions options);
    httplib::Server& server() { return server_; }

private:
    void routes();

    WebOptions options_;
    CountryLookup countries_;
    TurnCheck turnCheck_;
    httplib::Server server_;
};

}  // namespace corvala::web
