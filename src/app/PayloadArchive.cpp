#include "app/PayloadArchive.h"

#include <sys/stat.h>
#include <unzip.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

// Linked into `cr` only; weak so that other programs and tests link without it.
extern "C" __attribute__((weak)) const unsigned char corvala_payload_begin[];
extern "C" __attribute__((weak)) const unsigned char corvala_payload_end[];

namespace corvala {

namespace fs = std::filesystem;

namespace {

struct UnzipCloser {
    void operator()(void* handle) const { unzClose(handle); }
};

// A relative name of plain components: no root, no "..", no empty names.
bool IsSafeEntryName(const std::string& name) {
    if (name.empty() || name[0] == '/' || name.find('\\') != std::string::npos) return false;
    for (const auto& part : fs::path(name)) {
        if (part == ".." || part == ".") return false;
    }
    return true;
}

// Unix permission bits when the archive recorded them, else a plain file.
mode_t EntryMode(const unz_file_info64& info) {
    const unsigned madeBy = info.version >> 8;
    const mode_t mode = static_cast<mode_t>((info.external_fa >> 16) & 0777);
    return (madeBy == 3 && mode != 0) ? mode : 0644;
}

bool ExtractCurrent(unzFile zip, const unz_file_info64& info, const fs::path& destination) {
    if (unzOpenCurrentFile(zip) != UNZ_OK) return false;
    fs::path temporary = destination;
    temporary += ".part";
    bool ok = true;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        ok = static_cast<bool>(out);
        std::vector<char> buffer(64 * 1024);
        for (int n; ok && (n = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()))) != 0;) {
            if (n < 0) ok = false;  // corrupt data or a failed CRC
            else out.write(buffer.data(), n);
        }
        ok = ok && static_cast<bool>(out);
    }
    if (unzCloseCurrentFile(zip) != UNZ_OK) ok = false;  // reports a CRC mismatch
    std::error_code ec;
    if (ok) {
        ::chmod(temporary.c_str(), EntryMode(info));
        fs::rename(temporary, destination, ec);
        ok = !ec;
    }
    if (!ok) fs::remove(temporary, ec);
    return ok;
}

}  // namespace

bool ExtractArchive(const fs::path& archive, const fs::path& folder) {
    std::unique_ptr<void, UnzipCloser> zip(unzOpen64(archive.c_str()));
    if (!zip) return false;
    bool ok = true;
    for (int status = unzGoToFirstFile(zip.get()); status == UNZ_OK; status = unzGoToNextFile(zip.get())) {
        unz_file_info64 info{};
        char name[1024] = {};
        if (unzGetCurrentFileInfo64(zip.get(), &info, name, sizeof name - 1, nullptr, 0, nullptr, 0) != UNZ_OK) {
            ok = false;
            break;
        }
        std::string entry(name);
        if (!IsSafeEntryName(entry)) continue;
        fs::path destination = folder / entry;
        std::error_code ec;
        if (entry.back() == '/') {
            fs::create_directories(destination, ec);
            continue;
        }
        fs::create_directories(destination.parent_path(), ec);
        if (!ExtractCurrent(zip.get(), info, destination)) ok = false;
    }
    return ok;
}

std::string_view EmbeddedPayload() {
    if (!corvala_payload_begin || !corvala_payload_end) return {};
    return {reinterpret_cast<const char*>(corvala_payload_begin),
            static_cast<std::size_t>(corvala_payload_end - corvala_payload_begin)};
}

}  // namespace corvala
