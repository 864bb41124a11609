#include "platform/linux/RuntimeFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/Folders.h"

namespace corvala::platform::linuxos {

std::filesystem::path RuntimeFolder() {
    if (auto dir = ProcessEnvironment("XDG_RUNTIME_DIR")) return *dir;
    std::filesystem::path dir = "/tmp/corvala-" + std::to_string(getuid());
    ::mkdir(dir.c_str(), 0700);
    return dir;
}

}  // namespace corvala::platform::linuxos
