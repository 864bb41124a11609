#include "CountryLookup.h"

#include "TurnCheck.h"

#include <GeoIP.h>

#include <cctype>

namespace corvala::web {

CountryLookup::CountryLookup(const std::string& path) {
    if (!path.empty()) db_ = GeoIP_open(path.c_str(), GEOIP_MEMORY_CACHE | GEOIP_SILENCE);
}

CountryLookup::~CountryLookup() {
    if (db_) GeoIP_delete(db_);
}

std::string CountryLookup::countryOf(std::string_view ip) {
    if (!db_ || !ParseIPv4Unicast(ip)) return kUnknown;
    const char* code = nullptr;
    {
        std::lock_guard lock(mutex_);
        code = GeoIP_country_code_by_addr(db_, std::string(ip).c_str());
    }
    if (!code || std::char_traits<char>::length(code) != 2 || !std::isupper(static_cast<unsigned char>(code[0])) ||
        !std::isupper(static_cast<unsigned char>(code[1])))
        return kUnknown;
    return code;
}

}  // namespace corvala::web
