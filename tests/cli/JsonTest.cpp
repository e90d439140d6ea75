#include "undo/Json.h"

#include <gtest/gtest.h>

#include <string>

namespace tagkana {
namespace {

TEST(CliJson, StringsSurviveTheUndoFileAndShowAsTheWindowDoes) {
  const std::u16string name = u"a\"b\\c\nd\te\x01\U0001F3B5 \xDCFF\xD800z";
  const std::string kept = jsonString(name, LoneSurrogates::Keep);
  const auto object = parseJsonObject("{\"path\":" + kept + "}");
  ASSERT_TRUE(object) << kept;
  EXPECT_EQ(object->strings.at("path"), name);
  // Shown: one U+FFFD for each lone surrogate, and no line breaks in the line.
  const std::string shown = jsonString(name);
  EXPECT_EQ(shown.find("\\ud"), std::string::npos) << shown;
  EXPECT_EQ(shown.find('\n'), std::string::npos) << shown;
  const auto read = parseJsonObject("{\"path\":" + shown + "}");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->strings.at("path"), u"a\"b\\c\nd\te\x01\U0001F3B5 \xFFFD\xFFFDz");
}

TEST(CliJson, OnlyWholeObjectsAreRead) {
  const auto good =
      parseJsonObject(R"({"path":"/x","size":9223372036854775807,"old":{"title":"a"},"new":{}})");
  ASSERT_TRUE(good);
  EXPECT_EQ(good->numbers.at("size"), INT64_MAX);
  EXPECT_EQ(good->objects.at("old").at("title"), u"a");
  for (const char* bad : {R"({"path":"/x")", R"({"path":"/x"} extra)", R"({"path":"\q"})",
                          R"({"size":9223372036854775808})", R"({"size":-})", "{\"path\":\"a\nb\"}",
                          R"({"old":{"title":1}})", R"({"p":"\u12"})", R"(["path"])"}) {
    EXPECT_FALSE(parseJsonObject(bad)) << bad;
  }
}

}  // namespace
}  // namespace tagkana
