// The branding file "crcustom1.txt".
//
// Properties: what is read are lines of the file, and the banner name never
// leads out of the program folder by a path.
#include "FuzzSupport.h"
#include "core/BrandingFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<BrandingText> read = ReadBrandingText(bytes);
    if (!read) return 0;
    if (read->BannerName.contains(u'/')) fuzz::Fail("the banner name is a path");
    for (const QString& line : {read->Contact, read->BannerName})
        if (line.contains(u'\n') || line.contains(u'\r')) fuzz::Fail("a branding line holds a line end");
    return 0;
}
