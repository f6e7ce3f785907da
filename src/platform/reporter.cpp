#include "platform/reporter.h"

namespace quarnel {

Reporter& silentReporter() {
  static Reporter silent;
  return silent;
}

}  // namespace quarnel
