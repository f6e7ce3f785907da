#include "raw/raw_test_support.h"

#include <gtest/gtest.h>

namespace quarnel::test::raw {

SignatureRecord recordOf(const SignatureDraft& draft, std::size_t number) {
  BuiltRecord built = buildSignatureRecord(draft, number);
  EXPECT_TRUE(built.ok) << built.message;
  return built.record;
}

}  // namespace quarnel::test::raw
