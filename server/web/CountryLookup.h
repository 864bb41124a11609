#pragma once
// Country of an IPv4 address from a GeoIP country database, when one is
// installed. Anything it cannot answer with two letters is "XX".

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

struct GeoIPTag;

namespace corvala::web {

class CountryLookup {
public:
    // An empty path or a file that does not open leaves the lookup without a
    // database: every answer is then "XX".
    explicit CountryLookup(const std::string& databasePath);
    ~CountryLookup();

    bool hasDatabase() const { return db_ != nullptr; }
    std::string countryOf(std::string_view ipv4);

    static constexpr char kUnknown[] = "XX";
    static constexpr char kDefaultDatabase[] = "/usr/share/GeoIP/GeoIP.dat";

private:
    std::mutex mutex_;
    GeoIPTag* db_ = nullptr;
};

}  // namespace corvala::web
