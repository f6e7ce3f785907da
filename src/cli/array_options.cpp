#include "cli/array_options.h"

namespace quarnel::cli {

void addArrayOptions(CLI::App& command, ArrayOptions& o) {
  command.add_option("-m,--member", o.members,
                     "a member in array order: block device, raw image, .vhd file, or \"missing\"; "
                     "repeat per member. One member without --level reads that disk as it is")
      ->required()
      ->group("ARRAY");
  command.add_option("-l,--level", o.level, "RAID level")
      ->check(CLI::IsMember({0, 5}))
      ->capture_default_str()
      ->group("ARRAY");
  command.add_option("-s,--stripe", o.stripe, "stripe unit in 512-byte sectors")
      ->check(CLI::PositiveNumber)
      ->capture_default_str()
      ->group("ARRAY");
  command.add_option("-p,--layout", o.layout,
                     "RAID-5 parity layout: 1|right-asymmetric, 2|left-asymmetric, "
                     "3|left-symmetric, 4|right-symmetric")
      ->capture_default_str()
      ->group("ARRAY");
  command.add_option("-o,--offsets", o.offsets,
                     "comma-separated start sector of the array data on each member "
                     "(default: from a dynamic-disk private header, else 0)")
      ->group("ARRAY");
}

}  // namespace quarnel::cli
