#include "platform/linux/LinuxDriveIdentification.h"

#include <fcntl.h>
#include <linux/hdreg.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>

namespace corvala::platform::linuxos {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t MaxDrives = 16;

bool IsWholeDisk(const std::string& name) {
    static const char* const skipped[] = {"loop", "ram", "zram", "dm-", "md", "sr", "nbd", "fd"};
    for (const char* prefix : skipped)
        if (name.rfind(prefix, 0) == 0) return false;
    return true;
}

std::string ReadSmallFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string text(1024, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
    return text;
}

class Descriptor {
public:
    explicit Descriptor(const fs::path& device) : fd_(::open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// The identify data's text fields hold characters two per word, high byte
// first; everything else is little-endian.
IdentifyWords WordsFromRawBytes(const unsigned char* bytes) {
    IdentifyWords words{};
    for (std::size_t i = 0; i < words.size(); ++i)
        words[i] = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return words;
}

}  // namespace

LinuxDriveIdentification::LinuxDriveIdentification(fs::path sysBlock, fs::path devFolder)
    : sysBlock_(std::move(sysBlock)), devFolder_(std::move(devFolder)) {}

std::vector<std::string> LinuxDriveIdentification::DriveNames() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sysBlock_, ec)) {
        std::string name = entry.path().filename().string();
        if (IsWholeDisk(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    if (names.size() > MaxDrives) names.resize(MaxDrives);
    return names;
}

std::vector<IdentifyWords> LinuxDriveIdentification::IdentifyWithRights() {
    std::vector<IdentifyWords> answers;
    for (const auto& name : DriveNames()) {
        Descriptor fd(devFolder_ / name);
        if (fd.get() < 0) continue;
        unsigned char raw[512] = {};
        if (::ioctl(fd.get(), HDIO_GET_IDENTITY, raw) != 0) continue;
        IdentifyWords words = WordsFromRawBytes(raw);
        // The kernel hands the text fields back in reading order; put them
        // back into the device's two-characters-per-word form.
        auto repack = [&](int first, int last) {
            for (int w = first; w <= last; ++w)
                words[w] = static_cast<std::uint16_t>((raw[2 * w] << 8) | raw[2 * w + 1]);
        };
        repack(10, 19);
        repack(27, 46);
        answers.push_back(words);
    }
    return answers;
}

std::vector<IdentifyWords> LinuxDriveIdentification::IdentifyThroughPassThrough() {
    std::vector<IdentifyWords> answers;
    for (const auto& name : DriveNames()) {
        Descriptor fd(devFolder_ / name);
        if (fd.get() < 0) continue;
        unsigned char cdb[16] = {};
        cdb[0] = 0x85;        // ATA PASS-THROUGH(16)
        cdb[1] = 4 << 1;      // PIO data-in
        cdb[2] = 0x0E;        // from device, length in sectors, count field
        cdb[6] = 1;           // one sector
        cdb[14] = 0xEC;       // IDENTIFY DEVICE
        unsigned char data[512] = {};
        unsigned char sense[32] = {};
        sg_io_hdr_t io{};
        io.interface_id = 'S';
        io.cmdp = cdb;
        io.cmd_len = sizeof cdb;
        io.dxfer_direction = SG_DXFER_FROM_DEV;
        io.dxferp = data;
        io.dxfer_len = sizeof data;
        io.sbp = sense;
        io.mx_sb_len = sizeof sense;
        io.timeout = 10000;
        if (::ioctl(fd.get(), SG_IO, &io) != 0 || io.status != 0 || io.host_status != 0) continue;
        answers.push_back(WordsFromRawBytes(data));
    }
    return answers;
}

std::vector<StorageDescriptor> LinuxDriveIdentification::StorageDescriptors() {
    std::vector<StorageDescriptor> descriptors;
    for (const auto& name : DriveNames()) {
        const fs::path block = sysBlock_ / name;
        std::string serial = ReadSmallFile(block / "device/serial");
        if (serial.empty()) serial = ReadSmallFile(block / "serial");  // virtio disks
        descriptors.push_back(MakeStorageDescriptor(ReadSmallFile(block / "device/vendor"),
                                                    ReadSmallFile(block / "device/model"),
                                                    ReadSmallFile(block / "device/rev"), serial));
    }
    return descriptors;
}

StorageDescriptor MakeStorageDescriptor(const std::string& vendor, const std::string& product,
                                        const std::string& revision, const std::string& serial) {
    StorageDescriptor d;
    d.buffer.push_back('\0');  // offset 0 means "absent"
    auto append = [&](const std::string& text) {
        if (text.empty()) return 0;
        int offset = static_cast<int>(d.buffer.size());
        d.buffer.insert(d.buffer.end(), text.begin(), text.end());
        d.buffer.push_back('\0');
        return offset;
    };
    d.vendorOffset = append(vendor);
    d.productOffset = append(product);
    d.revisionOffset = append(revision);
    d.serialOffset = append(serial);
    return d;
}

}  // namespace corvala::platform::linuxos
