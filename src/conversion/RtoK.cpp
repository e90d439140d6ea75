#include "conversion/RtoK.h"

namespace tagkana {

std::u16string RtoK(std::u16string_view Romaji) {
  return std::u16string(Romaji);
}

}  // namespace tagkana
