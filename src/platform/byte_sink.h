// Where file content goes when it leaves a parser: a new file, standard output, a buffer.
#pragma once

#include "platform/bytes.h"

namespace quarnel {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool write(ByteSpan data) = 0;
};

}  // namespace quarnel
