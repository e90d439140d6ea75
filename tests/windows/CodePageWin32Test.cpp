// Where Windows' own code page 932 conversion and the glibc one (the POSIX
// build) part ways, and that the program's conversion follows glibc there, so
// a record reads and writes alike on both.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/CodePage.h"

namespace tagkana::platform {
namespace {

std::string windowsEncodes(char16_t c) {
  const auto wide = static_cast<wchar_t>(c);
  char bytes[4] = {};
  BOOL usedDefault = FALSE;
  const int size =
      WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes, 4, "?", &usedDefault);
  return usedDefault ? "?" : std::string(bytes, static_cast<std::size_t>(size));
}

TEST(CodePage932Win32, FollowsGlibcWhereWindowsLacksACharacter) {
  struct Case {
    char16_t character;
    const char* program;
  };
  // Windows' table has no code for these; glibc folds them onto a look-alike.
  const Case folded[] = {
      {0x301C, "\x81\x60"},  // wave dash, as ～
      {0x2016, "\x81\x61"},  // double vertical line, as ∥
      {0x2212, "\x81\x7C"},  // minus sign, as －
      {0x2014, "\x81\x5C"},  // em dash, as ―
      {0x00A2, "\x81\x91"},  // ¢
      {0x00A3, "\x81\x92"},  // £
      {0x00AC, "\x81\xCA"},  // ¬
      {0x00A5, "\x5C"},      // yen sign, as the backslash byte
      {0x203E, "\x7E"},      // overline, as the tilde byte
  };
  for (const auto& [c, program] : folded) {
    EXPECT_EQ(windowsEncodes(c), "?") << std::hex << int{c};
    EXPECT_EQ(encodeCp932(std::u16string(1, c)), program) << std::hex << int{c};
  }
  // Windows alone gives these a byte; glibc, and so the program, has none.
  const Case windowsOnly[] = {{0x0080, "\x80"}, {0xF8F0, "\xA0"}, {0xF8F3, "\xFF"}};
  for (const auto& [c, windows] : windowsOnly) {
    EXPECT_EQ(windowsEncodes(c), windows) << std::hex << int{c};
    EXPECT_EQ(encodeCp932(std::u16string(1, c)), "?") << std::hex << int{c};
  }
  // No best fit: Windows would write "e" for "é" without WC_NO_BEST_FIT_CHARS.
  EXPECT_EQ(encodeCp932(u"caf\u00E9"), "caf?");
  // Both sides agree on the full-width forms and the code that decodes to them.
  EXPECT_EQ(encodeCp932(u"\uFF5E\u2225\uFF0D\u2015"), "\x81\x60\x81\x61\x81\x7C\x81\x5C");
  EXPECT_EQ(decodeCp932("\x81\x60\x81\x61\x81\x7C\x81\x5C"), u"\uFF5E\u2225\uFF0D\u2015");
}

TEST(CodePage932Win32, BytesOnlyWindowsAcceptsAreInvalid) {
  // MultiByteToWideChar takes 0x80 as U+0080 (and real Windows 0xA0, 0xFD to
  // 0xFF as private-use characters); glibc rejects them all.
  wchar_t c = 0;
  EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, "\x80", 1, &c, 1), 1);
  for (const char* bytes : {"\x80", "\xA0", "\xFD", "\xFE", "\xFF"}) {
    EXPECT_EQ(decodeCp932(bytes), u"\uFFFD") << bytes;
    EXPECT_FALSE(isValidCp932(bytes)) << bytes;
  }
  EXPECT_EQ(decodeCp932("a\x80\x82\xA0"), u"a\uFFFDあ");
}

}  // namespace
}  // namespace tagkana::platform
