#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "PosixFile.h"

namespace vbmp3 {
namespace {

std::string decorated(std::string_view name, std::string_view suffix) {
  std::string out = "." + std::string(name) + ".vbmp3-" + std::string(suffix);
  if (out.size() <= 255) {
    return out;
  }
  // Too long a name to decorate: a hash of it stands in.
  std::uint64_t h = 14695981039346656037ull;
  for (const char c : name) {
    h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return ".vbmp3-" + std::string(hex) + "-" + std::string(suffix);
}

}  // namespace

std::string journalName(std::string_view fileName) {
  return decorated(fileName, "journal");
}

std::string tempName(std::string_view fileName) {
  return decorated(fileName, "new");
}

}  // namespace vbmp3
