// Whole-disk block devices the machine has, as candidates for array members.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarnel {

struct BlockDevice {
  std::string path;       // "/dev/sdb"
  std::int64_t sectors;   // size in 512-byte sectors, as /sys/block reports it
  std::string model;      // vendor and model, or the backing file of a loop device
};

// Reads sysRoot ("/sys/block" normally): sd*, nvme*n*, vd*, xvd*, mmcblk* and loop devices
// with a backing file; partitions are not listed. Sorted by name.
std::vector<BlockDevice> listBlockDevices(const std::string& sysRoot = "/sys/block");

}  // namespace quarnel
