#include "cli/array_options.h"

#include <charconv>
#include <string>

namespace quarnel::cli {
namespace {

// Stripe units run from one sector to 32 MiB; a number past that is a typing error, and the
// text says so instead of the argument parser's range of doubles.
constexpr long long kMaxStripeSectors = 65536;

CLI::Validator stripeRange() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        long long v = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec == std::errc() && end == text.data() + text.size() && v >= 1 && v <= kMaxStripeSectors) return {};
        return "a stripe unit is 1 to 65,536 sectors (512 bytes to 32 MiB), not " +
               (text.size() > 24 ? text.substr(0, 24) + "..." : text);
      },
      "1..65536");
}

}  // namespace

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
      ->check(stripeRange())
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
