#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "cli/Console.h"
#include "common/RuntimeError.h"
#include "platform/PathEncoding.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"

namespace tagkana::cli {
namespace {

void (*g_handler)() = nullptr;

extern "C" void onSignal(int) {
  g_handler();
}

}  // namespace

std::vector<std::string> arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

std::u16string pathArgument(std::string_view argument) {
  return platform::decodePath(argument);
}

std::u16string absolutePath(const std::u16string& path) {
  if (path.starts_with(u'/')) {
    return path;
  }
  std::string cwd(4096, '\0');
  while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
    if (errno != ERANGE) {
      throw RuntimeError(u"作業フォルダーがわかりません", {},
                         platform::systemErrorText(static_cast<unsigned long>(errno)));
    }
    cwd.resize(cwd.size() * 2);
  }
  cwd.resize(std::strlen(cwd.c_str()));
  return platform::joinPath(platform::decodePath(cwd), path);
}

bool isTerminal(Stream stream) {
  return ::isatty(stream == Stream::Input    ? STDIN_FILENO
                  : stream == Stream::Output ? STDOUT_FILENO
                                             : STDERR_FILENO) != 0;
}

PathKind kindOf(std::u16string_view path, bool followLinks) {
  struct stat status {};
  const std::string bytes = platform::encodePath(path);
  if ((followLinks ? ::stat(bytes.c_str(), &status) : ::lstat(bytes.c_str(), &status)) != 0) {
    return PathKind::Missing;
  }
  return S_ISDIR(status.st_mode)   ? PathKind::Folder
         : S_ISREG(status.st_mode) ? PathKind::File
                                   : PathKind::Other;
}

void prepareConsole(void (*handler)()) {
  g_handler = handler;
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace tagkana::cli
