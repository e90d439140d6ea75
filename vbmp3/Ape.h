#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// APEv2 tags as bytes: items replaced, added or removed while every other
// item keeps its bytes and place.
namespace vbmp3::ape {

inline constexpr std::size_t kFooterSize = 32;
// Beyond this an APE tag is not edited.
inline constexpr std::size_t kMaxTagSize = 16u << 20;

// The size of the APE tag (header included) that its 32-byte footer declares;
// 0 when it is no footer.
std::size_t declaredSize(std::string_view footer);

// The size of the APE tag (header included) that ends at the end of `tail`;
// 0 when there is none.
std::size_t sizeBefore(std::string_view tail);

// The tag with the text item `key` (any letter case; an item found keeps its
// own key bytes) set to `value` (UTF-8),
// or removed when `value` is none; none when the tag cannot be walked.
std::optional<std::string> setItem(std::string_view tag, std::string_view key,
                                   const std::optional<std::string>& value);

}  // namespace vbmp3::ape
