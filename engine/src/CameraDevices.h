// Cameras through V4L2: the list (name and frame sizes) and a source that
// runs v4l2src into BGRx frames.
#pragma once

#include "VideoSource.h"

#include <memory>
#include <string>
#include <vector>

namespace corvala::engine {

struct CameraProfile {
  int width = 0, height = 0, fps = 0;
};

struct CameraDevice {
  std::string path;  // /dev/videoN
  std::string name;
  std::vector<CameraProfile> profiles;
};

std::vector<CameraDevice> cameraDevices();
std::shared_ptr<VideoSource> createCameraSource(int index, int maxWidth, int maxHeight, int fps);

}  // namespace corvala::engine
