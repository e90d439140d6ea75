#include <iconv.h>

#include <array>
#include <cstdint>

#include "common/RuntimeError.h"
#include "platform/CodePageSystem.h"

namespace tagkana::platform::system {
namespace {

// One converter pair per thread: iconv descriptors are not safe to share.
class Converter {
 public:
  Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
    if (m_cd == reinterpret_cast<iconv_t>(-1)) {
      throw RuntimeError(u"文字コード変換（CP932）を開けませんでした。");
    }
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() { iconv_close(m_cd); }

  // Converts all of `in`; false when iconv refuses any of it.
  bool convert(const char* in, std::size_t inSize, char* out, std::size_t& outSize) {
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    auto* inPtr = const_cast<char*>(in);
    char* outPtr = out;
    std::size_t outLeft = outSize;
    if (iconv(m_cd, &inPtr, &inSize, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
        inSize != 0) {
      return false;
    }
    outSize = outSize - outLeft;
    return true;
  }

 private:
  iconv_t m_cd;
};

Converter& encoder() {
  thread_local Converter c("CP932", "UTF-16LE");
  return c;
}

Converter& decoder() {
  thread_local Converter c("UTF-16LE", "CP932");
  return c;
}

}  // namespace

std::uint16_t encodeCharacter(char16_t c) {
  const std::array<unsigned char, 2> le{static_cast<unsigned char>(c & 0xFF),
                                        static_cast<unsigned char>(c >> 8)};
  std::array<unsigned char, 4> out{};
  std::size_t size = out.size();
  if (!encoder().convert(reinterpret_cast<const char*>(le.data()), le.size(),
                         reinterpret_cast<char*>(out.data()), size)) {
    return '?';
  }
  if (size == 1) {
    return out[0];
  }
  if (size == 2) {
    return static_cast<std::uint16_t>(out[0] << 8 | out[1]);
  }
  return '?';
}

std::uint16_t decodeCode(std::uint16_t code) {
  std::array<unsigned char, 2> in{};
  std::size_t inSize = 1;
  if (code >= 0x100) {
    in = {static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code & 0xFF)};
    inSize = 2;
  } else {
    in[0] = static_cast<unsigned char>(code);
  }
  std::array<unsigned char, 8> le{};
  std::size_t size = le.size();
  if (!decoder().convert(reinterpret_cast<const char*>(in.data()), inSize,
                         reinterpret_cast<char*>(le.data()), size) ||
      size != 2) {
    return kNoCharacter;
  }
  return static_cast<std::uint16_t>(le[0] | le[1] << 8);
}

}  // namespace tagkana::platform::system
