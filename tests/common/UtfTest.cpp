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

// File names that are not UTF-8 keep their bytes through UTF-16 and back,
// and show with visible stand-ins.
TEST(Utf, EscapedBytesRoundTripAndShowAsReplacements) {
  const std::string raw = "caf\xE9 \xFF\xFE \xE3\x81 \xED\xA0\x80 \xC0\xAF \xE3\x81\x95";
  const std::u16string escaped = fromUtf8(raw, Undecodable::Escape);
  EXPECT_EQ(escaped, u"caf\xDCE9 \xDCFF\xDCFE \xDCE3\xDC81 \xDCED\xDCA0\xDC80 \xDCC0\xDCAF さ");
  EXPECT_EQ(toUtf8(escaped, Undecodable::Escape), raw);
  EXPECT_EQ(toUtf8(escaped),
            "caf\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD "
            "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD "
            "\xE3\x81\x95");
  // Only U+DC80..U+DCFF stand for bytes; other lone surrogates stay U+FFFD.
  EXPECT_EQ(toUtf8(u"\xDC7F\xD800𠮷", Undecodable::Escape),
            "\xEF\xBF\xBD\xEF\xBF\xBD\xF0\xA0\xAE\xB7");

  EXPECT_EQ(visibleName(escaped),
            u"caf\uFFFD \uFFFD\uFFFD \uFFFD\uFFFD \uFFFD\uFFFD\uFFFD "
            u"\uFFFD\uFFFD さ");
  EXPECT_EQ(visibleName(u"a\nb\r\nc 𠮷 <i>&amp;"), u"a\u23CEb\u23CE\u23CEc 𠮷 <i>&amp;");
}

TEST(RuntimeError, CarriesDescriptionAndFile) {
  const RuntimeError e(u"オーバーフローしました。", u"/tmp/a.mp3");
  EXPECT_EQ(e.description(), u"オーバーフローしました。");
  EXPECT_EQ(e.file(), u"/tmp/a.mp3");
  EXPECT_EQ(std::string(e.what()),
            "\xE3\x82\xAA\xE3\x83\xBC\xE3\x83\x90\xE3\x83\xBC\xE3\x83\x95\xE3\x83\xAD\xE3\x83\xBC"
            "\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F\xE3\x80\x82 (/tmp/a.mp3)");
  const RuntimeError withReason(u"E", u"f", u"Permission denied");
  EXPECT_EQ(withReason.reason(), u"Permission denied");
  EXPECT_EQ(std::string(withReason.what()), "E (f): Permission denied");
}

}  // namespace
}  // namespace tagkana
