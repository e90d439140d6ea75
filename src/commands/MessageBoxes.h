#pragma once

#include <string_view>

namespace tagkana {

enum class BoxButtons { Ok, OkCancel };  // OK is the default button
enum class BoxIcon { None, Stop };
enum class BoxAnswer { Ok, Cancel };  // closing the box counts as Cancel

// Modal message boxes. An empty title shows the application title "Tagkana".
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual BoxAnswer show(std::u16string_view text, std::u16string_view title, BoxButtons buttons,
                         BoxIcon icon) = 0;
};

}  // namespace tagkana
