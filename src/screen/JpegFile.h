#pragma once
// The host's screenshot as a JPEG file (libjpeg-turbo).

#include <filesystem>
#include <string>

#include "platform/DesktopCapture.h"

namespace corvala {

// The screenshot's quality: text on the screen must stay readable.
inline constexpr int ScreenshotJpegQuality = 98;

// Writes `picture` to `path` as a baseline JPEG of the given quality,
// replacing an earlier file; the error's text, empty on success. A file
// that could not be finished is removed.
std::string WriteJpegFile(const platform::DesktopPicture& picture, const std::filesystem::path& path,
                          int quality = ScreenshotJpegQuality);

}  // namespace corvala
