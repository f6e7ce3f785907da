#include "platform/block_devices.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace quarnel {
namespace {

std::string readLine(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool isWholeDiskName(const std::string& name) {
  if (startsWith(name, "nvme")) {
    // nvme0n1 is a namespace (a disk); nvme0n1p1 would be a partition, nvme0 a controller.
    auto n = name.find('n', 4);
    return n != std::string::npos && name.find('p', n) == std::string::npos;
  }
  if (startsWith(name, "mmcblk"))
    return name.find('p', 6) == std::string::npos && name.find("boot") == std::string::npos &&
           name.find("rpmb") == std::string::npos;
  return startsWith(name, "sd") || startsWith(name, "vd") || startsWith(name, "xvd") ||
         startsWith(name, "loop");
}

}  // namespace

std::vector<BlockDevice> listBlockDevices(const std::string& sysRoot) {
  namespace fs = std::filesystem;
  std::vector<BlockDevice> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(sysRoot, ec)) {
    std::string name = entry.path().filename().string();
    if (!isWholeDiskName(name)) continue;
    BlockDevice dev{"/dev/" + name, 0, {}};
    std::string size = readLine(entry.path() / "size");
    dev.sectors = size.empty() ? 0 : std::strtoll(size.c_str(), nullptr, 10);
    if (startsWith(name, "loop")) {
      dev.model = readLine(entry.path() / "loop" / "backing_file");
      if (dev.model.empty()) continue;  // an unused loop device
    } else {
      std::string vendor = readLine(entry.path() / "device" / "vendor");
      std::string model = readLine(entry.path() / "device" / "model");
      dev.model = vendor.empty() ? model : vendor + " " + model;
    }
    out.push_back(std::move(dev));
  }
  std::sort(out.begin(), out.end(),
            [](const BlockDevice& a, const BlockDevice& b) { return a.path < b.path; });
  return out;
}

}  // namespace quarnel
