#include "CameraDevices.h"

#include "Log.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace corvala::engine {

namespace {

int xioctl(int fd, unsigned long request, void* argument) {
  int result;
  do result = ioctl(fd, request, argument);
  while (result < 0 && errno == EINTR);
  return result;
}

std::vector<CameraProfile> profilesOf(int fd) {
  std::vector<CameraProfile> profiles;
  v4l2_fmtdesc format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  for (format.index = 0; xioctl(fd, VIDIOC_ENUM_FMT, &format) == 0; ++format.index) {
    v4l2_frmsizeenum size{};
    size.pixel_format = format.pixelformat;
    for (size.index = 0; xioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
      if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE) break;
      CameraProfile profile{int(size.discrete.width), int(size.discrete.height), 0};
      v4l2_frmivalenum interval{};
      interval.pixel_format = format.pixelformat;
      interval.width = size.discrete.width;
      interval.height = size.discrete.height;
      for (interval.index = 0; xioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) == 0; ++interval.index)
        if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE && interval.discrete.numerator)
          profile.fps = std::max(profile.fps, int(interval.discrete.denominator / interval.discrete.numerator));
      const bool known = std::any_of(profiles.begin(), profiles.end(), [&](const CameraProfile& p) {
        return p.width == profile.width && p.height == profile.height;
      });
      if (!known) profiles.push_back(profile);
    }
  }
  return profiles;
}

class CameraSource : public VideoSource {
 public:
  CameraSource(std::string path, int maxWidth, int maxHeight, int fps)
      : VideoSource(maxWidth, maxHeight, fps), path_(std::move(path)) {}
  ~CameraSource() override { shutdown(); }

 protected:
  bool begin() override {
    gchar* description = g_strdup_printf(
        "v4l2src device=\"%s\" ! videoconvert ! videoscale ! videorate drop-only=true "
        "! video/x-raw,format=BGRx,framerate=[1/1,%d/1] ! appsink name=frames sync=false max-buffers=1 drop=true",
        path_.c_str(), fps_);
    GError* error = nullptr;
    pipeline_ = gst_parse_launch(description, &error);
    g_free(description);
    if (!pipeline_) {
      logMessage(LogLevel::Warning, "camera: %s", error ? error->message : "?");
      if (error) g_error_free(error);
      return false;
    }
    sink_ = gst_bin_get_by_name(GST_BIN(pipeline_), "frames");
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
      logMessage(LogLevel::Warning, "camera %s does not start", path_.c_str());
      end();
      return false;
    }
    return true;
  }

  GstBuffer* grab(int& width, int& height) override {
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), GST_SECOND / 10);
    if (!sample) return nullptr;
    GstVideoInfo info;
    GstBuffer* frame = nullptr;
    if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample))) {
      width = GST_VIDEO_INFO_WIDTH(&info);
      height = GST_VIDEO_INFO_HEIGHT(&info);
      frame = packedFrame(gst_sample_get_buffer(sample), width, height, GST_VIDEO_INFO_PLANE_STRIDE(&info, 0));
    }
    gst_sample_unref(sample);
    return frame;
  }

  void waitForNextFrame(std::chrono::steady_clock::time_point) override {}  // the pull paces us

  void end() override {
    if (pipeline_) {
      gst_element_set_state(pipeline_, GST_STATE_NULL);
      gst_object_unref(pipeline_);
    }
    if (sink_) gst_object_unref(sink_);
    pipeline_ = sink_ = nullptr;
  }

 private:
  std::string path_;
  GstElement* pipeline_ = nullptr;
  GstElement* sink_ = nullptr;
};

}  // namespace

std::vector<CameraDevice> cameraDevices() {
  std::vector<CameraDevice> cameras;
  DIR* dir = opendir("/dev");
  if (!dir) return cameras;
  std::vector<std::string> paths;
  while (dirent* entry = readdir(dir))
    if (std::strncmp(entry->d_name, "video", 5) == 0) paths.push_back(std::string("/dev/") + entry->d_name);
  closedir(dir);
  std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  for (const auto& path : paths) {
    const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    v4l2_capability capability{};
    if (xioctl(fd, VIDIOC_QUERYCAP, &capability) == 0) {
      const unsigned caps =
          (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
      if (caps & V4L2_CAP_VIDEO_CAPTURE) {
        CameraDevice camera;
        camera.path = path;
        camera.name = reinterpret_cast<const char*>(capability.card);
        camera.profiles = profilesOf(fd);
        cameras.push_back(std::move(camera));
      }
    }
    close(fd);
  }
  return cameras;
}

std::shared_ptr<VideoSource> createCameraSource(int index, int maxWidth, int maxHeight, int fps) {
  const auto cameras = cameraDevices();
  if (index < 0 || index >= int(cameras.size())) return nullptr;
  return std::make_shared<CameraSource>(cameras[size_t(index)].path, maxWidth, maxHeight, fps);
}

}  // namespace corvala::engine
