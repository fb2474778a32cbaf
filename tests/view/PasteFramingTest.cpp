#include <gtest/gtest.h>

#include "view/PasteFraming.h"

namespace tarvik {
namespace {

TEST(PasteFramingTest, TextIsSentAsTypedWithoutBracketedPaste) {
    EXPECT_EQ(framePaste("ls\n\x1b[201~", false), "ls\n\x1b[201~");
}

} // namespace
} // namespace tarvik
