#include "mime/quoted_printable.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(QuotedPrintable, Placeholder) { EXPECT_EQ(DecodeQuotedPrintable("=41"), "A"); }

} // namespace
} // namespace pelmora
