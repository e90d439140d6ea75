#include <windows.h>
// Needs the types of windows.h.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cli/Console.h"
#include "common/RuntimeError.h"
#include "platform/SystemError.h"
#include "platform/WideTextWin32.h"
#include "record/Utf8.h"

namespace tagkana::cli {
namespace {

void (*g_handler)() = nullptr;
UINT g_consoleCodePage = 0;

BOOL WINAPI onControl(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    g_handler();
    return TRUE;
  }
  return FALSE;
}

}  // namespace

std::vector<std::string> arguments(int, char**) {
  int count = 0;
  const std::unique_ptr<LPWSTR, decltype(&LocalFree)> list(
      CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  std::vector<std::string> out;
  for (int i = 1; list && i < count; ++i) {
    out.push_back(toUtf8(platform::fromWide(list.get()[i])));
  }
  return out;
}

std::u16string pathArgument(std::string_view argument) {
  return fromUtf8(argument);
}

std::u16string absolutePath(const std::u16string& path) {
  const std::wstring wide = platform::toWide(path);
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  std::wstring full(size, L'\0');
  const DWORD length = size == 0 ? 0 : GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) {
    throw RuntimeError(u"パスがわかりません", path, platform::systemErrorText(GetLastError()));
  }
  full.resize(length);
  return platform::fromWide(full);
}

bool isTerminal(Stream stream) {
  // _isatty() is true for NUL too; a console has a mode.
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(stream == Stream::Input    ? STD_INPUT_HANDLE
                                     : stream == Stream::Output ? STD_OUTPUT_HANDLE
                                                                : STD_ERROR_HANDLE),
                        &mode) != 0;
}

PathKind kindOf(std::u16string_view path, bool followLinks) {
  const DWORD attributes = GetFileAttributesW(platform::toWide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return PathKind::Missing;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    // A junction or a link to a folder is followed only when asked.
    return followLinks || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? PathKind::Folder
                                                                       : PathKind::Other;
  }
  return attributes & FILE_ATTRIBUTE_DEVICE ? PathKind::Other : PathKind::File;
}

void prepareConsole(void (*handler)()) {
  g_handler = handler;
  SetConsoleCtrlHandler(onControl, TRUE);
  // The lines are UTF-8; a console shows them as such while the program
  // runs, and gets its own code page back at the end.
  g_consoleCodePage = GetConsoleOutputCP();
  if (g_consoleCodePage != 0 && g_consoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
    std::atexit([] { SetConsoleOutputCP(g_consoleCodePage); });
  }
}

}  // namespace tagkana::cli
