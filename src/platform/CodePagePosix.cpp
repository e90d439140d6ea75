#include <errno.h>
#include <iconv.h>

#include <array>
#include <cstring>

#include "common/RuntimeError.h"
#include "platform/CodePage.h"

namespace tagkana::platform {
namespace {

// One converter pair per thread: iconv descriptors keep shift state and are
// not safe to share.
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

  // Converts all of `in`; false (and nothing written) when iconv refuses it.
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

bool isLeadByte(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Encodes one character (one or two code units) into `out`; returns its size.
std::size_t encodeChar(std::u16string_view ch, std::array<char, 4>& out) {
  if (ch.size() == 1 && ch[0] < 0x80) {
    out[0] = static_cast<char>(ch[0]);
    return 1;
  }
  std::array<unsigned char, 4> le{};
  for (std::size_t i = 0; i < ch.size(); ++i) {
    le[2 * i] = static_cast<unsigned char>(ch[i] & 0xFF);
    le[2 * i + 1] = static_cast<unsigned char>(ch[i] >> 8);
  }
  std::size_t size = out.size();
  if (!encoder().convert(reinterpret_cast<const char*>(le.data()), ch.size() * 2, out.data(),
                         size) ||
      size == 0) {
    out[0] = '?';
    return 1;
  }
  return size;
}

std::size_t charLength(std::u16string_view text, std::size_t i) {
  const char16_t c = text[i];
  if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
      text[i + 1] <= 0xDFFF) {
    return 2;
  }
  return 1;
}

// Decodes the character at the start of `bytes`; returns the bytes it took,
// 0 when they start no valid character.
std::size_t decodeChar(std::string_view bytes, std::u16string& out) {
  const auto b0 = static_cast<unsigned char>(bytes[0]);
  if (b0 < 0x80) {
    out += static_cast<char16_t>(b0);
    return 1;
  }
  const std::size_t len = isLeadByte(b0) ? 2 : 1;
  if (bytes.size() < len) {
    return 0;
  }
  std::array<char, 8> le{};
  std::size_t size = le.size();
  if (!decoder().convert(bytes.data(), len, le.data(), size) || size != 2) {
    return 0;
  }
  out += static_cast<char16_t>(static_cast<unsigned char>(le[0]) |
                               (static_cast<unsigned char>(le[1]) << 8));
  return len;
}

}  // namespace

std::string encodeCp932(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  std::array<char, 4> buf{};
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = charLength(text, i);
    out.append(buf.data(), encodeChar(text.substr(i, n), buf));
    i += n;
  }
  return out;
}

std::size_t encodeCp932Slot(std::u16string_view text, std::span<char> slot) {
  std::size_t used = 0;
  std::array<char, 4> buf{};
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = charLength(text, i);
    const std::size_t size = encodeChar(text.substr(i, n), buf);
    if (used + size > slot.size()) {
      break;
    }
    std::memcpy(slot.data() + used, buf.data(), size);
    used += size;
    i += n;
  }
  std::memset(slot.data() + used, 0, slot.size() - used);
  return used;
}

std::u16string decodeCp932(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    std::size_t taken = decodeChar(bytes, out);
    if (taken == 0) {
      out += u'\uFFFD';
      taken = 1;
    }
    bytes.remove_prefix(taken);
  }
  return out;
}

bool isValidCp932(std::string_view bytes) {
  std::u16string scratch;
  while (!bytes.empty()) {
    const std::size_t taken = decodeChar(bytes, scratch);
    if (taken == 0) {
      return false;
    }
    bytes.remove_prefix(taken);
  }
  return true;
}

}  // namespace tagkana::platform
