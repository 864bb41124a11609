// Build tool: packs files into a deflate ZIP, keeping their Unix permissions,
// under their plain file names.
//   payload-pack OUTPUT.zip FILE...
#include <sys/stat.h>
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: payload-pack OUTPUT.zip FILE...\n");
        return 2;
    }
    zipFile zip = zipOpen64(argv[1], APPEND_STATUS_CREATE);
    if (!zip) {
        std::fprintf(stderr, "payload-pack: cannot create %s\n", argv[1]);
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        struct stat st {};
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "payload-pack: cannot read %s\n", argv[i]);
            return 1;
        }
        ::stat(argv[i], &st);
        zip_fileinfo info{};
        info.external_fa = static_cast<uLong>(st.st_mode & 0777) << 16;
        const std::string name = std::filesystem::path(argv[i]).filename().string();
        constexpr uLong madeByUnix = 3 << 8 | 20;
        if (zipOpenNewFileInZip4_64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                    Z_BEST_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                    nullptr, 0, madeByUnix, 0, 0) != ZIP_OK ||
            zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size())) != ZIP_OK ||
            zipCloseFileInZip(zip) != ZIP_OK) {
            std::fprintf(stderr, "payload-pack: cannot add %s\n", argv[i]);
            return 1;
        }
    }
    return zipClose(zip, nullptr) == ZIP_OK ? 0 : 1;
}
