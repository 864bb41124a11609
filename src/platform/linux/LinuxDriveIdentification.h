#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "platform/DriveIdentification.h"

namespace corvala::platform::linuxos {

// Drives are the whole-disk block devices in /sys/block (no loop, RAM, zram,
// device-mapper, RAID or optical devices), in name order, at most 16.
//  - with rights: HDIO_GET_IDENTITY on /dev/NAME;
//  - pass-through: SG_IO with an ATA PASS-THROUGH(16) IDENTIFY DEVICE;
//  - descriptors: vendor, model, revision and serial from sysfs.
class LinuxDriveIdentification : public IDriveIdentification {
public:
    explicit LinuxDriveIdentification(std::filesystem::path sysBlock = "/sys/block",
                                      std::filesystem::path devFolder = "/dev");
    std::vector<IdentifyWords> IdentifyWithRights() override;
    std::vector<IdentifyWords> IdentifyThroughPassThrough() override;
    std::vector<StorageDescriptor> StorageDescriptors() override;

    std::vector<std::string> DriveNames() const;

private:
    std::filesystem::path sysBlock_;
    std::filesystem::path devFolder_;
};

// Builds a descriptor buffer from the texts, each NUL-terminated, with their
// offsets; an absent text gets offset 0.
StorageDescriptor MakeStorageDescriptor(const std::string& vendor, const std::string& product,
                                        const std::string& revision, const std::string& serial);

}  // namespace corvala::platform::linuxos
