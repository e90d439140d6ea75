#include <gtest/gtest.h>

#include "common/RuntimeError.h"
#include "common/Utf.h"

namespace tagkana {
namespace {

TEST(Utf, RoundTripsBmpAndSurrogatePairs) {
  const std::u16string text = u"sakura さくら ー 𠮷 \u00E9";
  EXPECT_EQ(toUtf8(text),
            "sakura \xE3\x81\x95\xE3\x81\x8F\xE3\x82\x89 \xE3\x83\xBC \xF0\xA0\xAE\xB7 \xC3\xA9");
  EXPECT_EQ(fromUtf8(toUtf8(text)), text);
}

TEST(Utf, ReplacesWhatIsNotValid) {
  EXPECT_EQ(toUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
  EXPECT_EQ(toUtf8(u"a\xDC00z"), "a\xEF\xBF\xBDz");
  EXPECT_EQ(fromUtf8("\xFF"), u"\uFFFD");
  EXPECT_EQ(fromUtf8("a\xE3\x81"), u"a\uFFFD\uFFFD");          // cut inside a character
  EXPECT_EQ(fromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong "/"
  EXPECT_EQ(fromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
}

TEST(RuntimeError, CarriesDescriptionAndFile) {
  const RuntimeError e(u"オーバーフローしました。", u"/tmp/a.mp3");
  EXPECT_EQ(e.description(), u"オーバーフローしました。");
  EXPECT_EQ(e.file(), u"/tmp/a.mp3");
  EXPECT_EQ(std::string(e.what()),
            "\xE3\x82\xAA\xE3\x83\xBC\xE3\x83\x90\xE3\x83\xBC\xE3\x83\x95\xE3\x83\xAD\xE3\x83\xBC"
            "\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F\xE3\x80\x82 (/tmp/a.mp3)");
}

}  // namespace
}  // namespace tagkana
