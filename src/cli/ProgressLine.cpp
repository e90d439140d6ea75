#include "cli/ProgressLine.h"

#include <algorithm>
#include <cstdio>

#include "common/Utf.h"
#include "record/Utf8.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace tagkana::cli {
namespace {

ProgressLine* g_shown = nullptr;

bool onTerminal() {
#ifdef _WIN32
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
  return ::isatty(STDERR_FILENO) != 0;
#endif
}

std::size_t terminalColumns() {
#ifdef _WIN32
  CONSOLE_SCREEN_BUFFER_INFO about{};
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &about)) {
    return static_cast<std::size_t>(about.srWindow.Right - about.srWindow.Left + 1);
  }
#else
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    return size.ws_col;
  }
#endif
  return 80;
}

// Columns on a terminal: Japanese text takes two.
std::size_t columns(char16_t c) {
  return c < 0x1100 || (c >= 0xDC00 && c <= 0xDFFF) ? 1 : 2;
}

constexpr auto kRedraw = std::chrono::milliseconds(100);

}  // namespace

ProgressLine::ProgressLine(std::u16string_view what, std::size_t total)
    : m_what(what),
      m_total(total),
      m_enabled(onTerminal()),
      m_start(std::chrono::steady_clock::now()),
      m_drawn(m_start - kRedraw) {}

ProgressLine::~ProgressLine() {
  clear();
}

ProgressLine* ProgressLine::shown() {
  return g_shown;
}

void ProgressLine::step(std::size_t done, std::u16string_view path) {
  const auto now = std::chrono::steady_clock::now();
  if (!m_enabled ||
      (g_shown == this && now - m_drawn < kRedraw && (m_total == 0 || done != m_total))) {
    return;
  }
  m_drawn = now;
  const double seconds = std::chrono::duration<double>(now - m_start).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
  char numbers[96];
  // A total told beforehand may be overtaken by files that came since.
  if (m_total == 0 || done > m_total) {
    std::snprintf(numbers, sizeof numbers, " %zu 件  %.0f 件/秒  ", done, rate);
  } else {
    std::snprintf(numbers, sizeof numbers, " %zu/%zu 件  %.0f 件/秒  ", done, m_total, rate);
  }
  std::u16string text = m_what + fromUtf8(numbers);
  // The file's name is cut from the left to keep it on one line.
  const std::u16string name = visibleName(path);
  std::size_t room = terminalColumns() - 1;
  for (char16_t c : text) {
    room -= std::min(room, columns(c));
  }
  std::size_t from = name.size();
  std::size_t width = 0;
  while (from > 0 && width + columns(name[from - 1]) + 1 <= room) {
    width += columns(name[--from]);
  }
  if (from > 0 && room > 0) {
    text += u'…';
  }
  text += std::u16string_view(name).substr(from);
  draw(text);
}

void ProgressLine::clear() {
  if (g_shown == this) {
    draw({});
    g_shown = nullptr;
  }
}

void ProgressLine::draw(const std::u16string& text) {
  std::size_t width = 0;
  for (char16_t c : text) {
    width += columns(c);
  }
  // Spaces over what the last line left, then back to its start.
  std::string out = '\r' + toUtf8(text);
  if (width < m_width) {
    out.append(m_width - width, ' ');
    out += '\r' + toUtf8(text);
  }
  m_width = width;
  g_shown = text.empty() ? nullptr : this;
  std::fwrite(out.data(), 1, out.size(), stderr);
  std::fflush(stderr);
}

}  // namespace tagkana::cli
