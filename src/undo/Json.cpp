#include "undo/Json.h"

#include <cstdint>
#include <cstdio>

#include "record/Utf8.h"

namespace tagkana {
namespace {

void appendEscape(std::string& out, char16_t unit) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "\\u%04x", static_cast<unsigned>(unit));
  out += hex;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : m_text(text) {}

  std::optional<JsonObject> object() {
    JsonObject result;
    if (!take('{')) {
      return std::nullopt;
    }
    if (take('}')) {
      return end() ? std::optional(result) : std::nullopt;
    }
    do {
      std::u16string key;
      if (!string(key) || !take(':')) {
        return std::nullopt;
      }
      const std::string name = toUtf8(key);
      skipSpace();
      if (peek() == '"') {
        if (!string(result.strings[name])) {
          return std::nullopt;
        }
      } else if (peek() == '{') {
        if (!stringObject(result.objects[name])) {
          return std::nullopt;
        }
      } else if (!number(result.numbers[name])) {
        return std::nullopt;
      }
    } while (take(','));
    return take('}') && end() ? std::optional(result) : std::nullopt;
  }

 private:
  bool stringObject(std::map<std::string, std::u16string>& out) {
    if (!take('{')) {
      return false;
    }
    if (take('}')) {
      return true;
    }
    do {
      std::u16string key;
      std::u16string value;
      if (!string(key) || !take(':') || !string(value)) {
        return false;
      }
      out[toUtf8(key)] = std::move(value);
    } while (take(','));
    return take('}');
  }

  bool number(std::int64_t& out) {
    skipSpace();
    bool negative = take('-');
    std::size_t digits = 0;
    std::uint64_t value = 0;
    while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9') {
      value = value * 10 + static_cast<unsigned>(m_text[m_at++] - '0');
      if (++digits > 19 || value > static_cast<std::uint64_t>(INT64_MAX)) {
        return false;
      }
    }
    out = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
    return digits > 0;
  }

  bool string(std::u16string& out) {
    skipSpace();
    if (!take('"')) {
      return false;
    }
    std::string run;  // raw UTF-8 between escapes
    const auto flush = [&] {
      out += fromUtf8(run);
      run.clear();
    };
    while (m_at < m_text.size()) {
      const char c = m_text[m_at++];
      if (c == '"') {
        flush();
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) {
        return false;
      }
      if (c != '\\') {
        run += c;
        continue;
      }
      if (m_at >= m_text.size()) {
        return false;
      }
      const char e = m_text[m_at++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          run += e;
          break;
        case 'b':
          run += '\b';
          break;
        case 'f':
          run += '\f';
          break;
        case 'n':
          run += '\n';
          break;
        case 'r':
          run += '\r';
          break;
        case 't':
          run += '\t';
          break;
        case 'u': {
          if (m_at + 4 > m_text.size()) {
            return false;
          }
          unsigned value = 0;
          for (int i = 0; i < 4; ++i) {
            const char h = m_text[m_at++];
            value <<= 4;
            if (h >= '0' && h <= '9') {
              value |= static_cast<unsigned>(h - '0');
            } else if (h >= 'a' && h <= 'f') {
              value |= static_cast<unsigned>(h - 'a' + 10);
            } else if (h >= 'A' && h <= 'F') {
              value |= static_cast<unsigned>(h - 'A' + 10);
            } else {
              return false;
            }
          }
          // Units are kept as they are, lone surrogates included.
          flush();
          out += static_cast<char16_t>(value);
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }

  void skipSpace() {
    while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t')) {
      ++m_at;
    }
  }
  char peek() const { return m_at < m_text.size() ? m_text[m_at] : '\0'; }
  bool take(char c) {
    skipSpace();
    if (peek() != c) {
      return false;
    }
    ++m_at;
    return true;
  }
  bool end() {
    skipSpace();
    return m_at == m_text.size();
  }

  std::string_view m_text;
  std::size_t m_at = 0;
};

}  // namespace

std::string jsonString(std::u16string_view text, LoneSurrogates lone) {
  std::string out = "\"";
  std::size_t runStart = 0;
  const auto flush = [&](std::size_t end) { out += toUtf8(text.substr(runStart, end - runStart)); };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                      text[i + 1] <= 0xDFFF;
    if (pair) {
      ++i;
      continue;
    }
    const bool loneSurrogate = c >= 0xD800 && c <= 0xDFFF;
    if (c >= 0x20 && c != u'"' && c != u'\\' && !loneSurrogate) {
      continue;
    }
    flush(i);
    runStart = i + 1;
    if (c == u'"') {
      out += "\\\"";
    } else if (c == u'\\') {
      out += "\\\\";
    } else if (c == u'\n') {
      out += "\\n";
    } else if (c == u'\r') {
      out += "\\r";
    } else if (c == u'\t') {
      out += "\\t";
    } else if (loneSurrogate && lone == LoneSurrogates::Replace) {
      out += "\xEF\xBF\xBD";
    } else {
      appendEscape(out, c);
    }
  }
  flush(text.size());
  out += '"';
  return out;
}

std::optional<JsonObject> parseJsonObject(std::string_view line) {
  return Parser(line).object();
}

}  // namespace tagkana
