#pragma once

#include <cstddef>
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
  // As show(); a box that scrolls opens with the line holding code unit
  // `inView` of the text at the top of its view (where a growing log's
  // newest part begins). A plain box shows all of it anyway.
  virtual BoxAnswer showAt(std::u16string_view text, std::size_t inView, std::u16string_view title,
                           BoxButtons buttons, BoxIcon icon) {
    static_cast<void>(inView);
    return show(text, title, buttons, icon);
  }
};

// Whether a text fits a plain message box: at most 25 lines (split at LF) of
// at most 160 code units each. A longer one would leave the screen; the front
// ends show it in a box that scrolls.
bool fitsPlainBox(std::u16string_view text);
// How many lines a long box shows above the whole text.
inline constexpr int kLongBoxFirstLines = 5;

}  // namespace tagkana
