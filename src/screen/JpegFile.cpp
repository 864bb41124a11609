#include "screen/JpegFile.h"

#include <csetjmp>
#include <cstdio>
#include <memory>

#include <jpeglib.h>

namespace corvala {

namespace {

// libjpeg reports errors through a callback that must not return.
struct ErrorManager {
    jpeg_error_mgr base{};
    std::jmp_buf escape{};
    char message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void OnError(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->escape, 1);
}

}  // namespace

std::string WriteJpegFile(const platform::DesktopPicture& picture, const std::filesystem::path& path, int quality) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() != static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height))
        return "the picture is empty";
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) return "cannot write " + path.string();

    jpeg_compress_struct info{};
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    if (setjmp(errors.escape)) {
        jpeg_destroy_compress(&info);
        file.reset();
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        return errors.message;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file.get());
    info.image_width = static_cast<JDIMENSION>(picture.width);
    info.image_height = static_cast<JDIMENSION>(picture.height);
    // 0x00RRGGBB words lie in memory as blue, green, red, unused.
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto* row = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(
            picture.pixels.data() + static_cast<std::size_t>(info.next_scanline) * picture.width));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    if (std::fflush(file.get()) != 0) return "cannot write " + path.string();
    return {};
}

}  // namespace corvala
