#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// Just enough JSON for the command line's output and its undo files.
namespace tagkana {

enum class LoneSurrogates {
  Replace,  // as U+FFFD, the way the window shows names
  Keep,     // as \udcXX escapes, so a name's undecodable bytes survive a round trip
};

// `text` as a quoted JSON string in UTF-8.
std::string jsonString(std::u16string_view text, LoneSurrogates lone = LoneSurrogates::Replace);

// One flat object as the undo files hold it: strings, whole numbers and
// objects of strings. Anything else is an error.
struct JsonObject {
  std::map<std::string, std::u16string> strings;
  std::map<std::string, std::int64_t> numbers;
  std::map<std::string, std::map<std::string, std::u16string>> objects;
};

// Empty when `line` is not such an object.
std::optional<JsonObject> parseJsonObject(std::string_view line);

}  // namespace tagkana
