#include "commands/MessageBoxes.h"

#include <gtest/gtest.h>

#include <string>

namespace tagkana {
namespace {

std::u16string lines(int count, std::size_t length) {
  std::u16string text;
  for (int i = 0; i < count; ++i) {
    text += (i == 0 ? u"" : u"\r\n") + std::u16string(length, u'あ');
  }
  return text;
}

TEST(FitsPlainBox, HoldsTwentyFiveLinesOfAHundredAndSixtyUnits) {
  EXPECT_TRUE(fitsPlainBox(u""));
  EXPECT_TRUE(fitsPlainBox(lines(25, 10)));
  EXPECT_FALSE(fitsPlainBox(lines(26, 10)));
  // A text ending in a line break has an empty last line, which counts.
  EXPECT_FALSE(fitsPlainBox(lines(25, 10) + u"\r\n"));
  // The CR of a CR LF counts towards its line.
  EXPECT_TRUE(fitsPlainBox(std::u16string(159, u'x') + u"\r\nok"));
  EXPECT_FALSE(fitsPlainBox(std::u16string(160, u'x') + u"\r\nok"));
  EXPECT_TRUE(fitsPlainBox(std::u16string(160, u'x')));
  EXPECT_FALSE(fitsPlainBox(u"ok\n" + std::u16string(161, u'x')));
}

}  // namespace
}  // namespace tagkana
