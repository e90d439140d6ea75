#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vbmp3test {

// A fresh folder, removed with everything in it at the end.
class TempDir {
 public:
  // Under the system's temporary folder, or under `base`.
  explicit TempDir(const std::string& base = {});
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  const std::string& path() const { return m_path; }
  std::string file(std::string_view name) const { return m_path + "/" + std::string(name); }
  // The names in the folder, sorted.
  std::vector<std::string> names() const;

 private:
  std::string m_path;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, std::string_view bytes);

// The 656-byte record and the slots the tests look at.
using Record = std::array<unsigned char, 656>;
inline constexpr std::size_t kTitle = 0, kArtist = 128, kAlbum = 256, kYear = 384, kComment = 389,
                             kGenreName = 524;
// A slot's bytes up to its first NUL.
std::string slot(const Record& r, std::size_t offset, std::size_t size = 128);
// Fixed-length assignment as the program does it: the text, then spaces.
void assignSlot(Record& r, std::size_t offset, std::string_view bytes, std::size_t size = 128);
std::int32_t genreNumber(const Record& r);
std::int32_t trackNumber(const Record& r);

// Read and write through the library's C entry points.
bool readRecord(const std::string& path, Record& r);
bool writeTitle(const std::string& path, std::string_view title, std::int32_t version = 0,
                std::int32_t keepV1 = 1);

// The file's ID3v2 title, artist and album as mutagen (another program's
// reader) reads them, each value of a field joined by '|'; "none" for a file
// without ID3v2, "unreadable" when mutagen fails on it. None when python3
// with mutagen is not there.
struct ForeignRead {
  std::string title, artist, album;
};
std::optional<ForeignRead> readWithMutagen(const std::string& path);

// What tells one file from another on its volume: the inode, or the file
// index on Windows.
std::uint64_t fileId(const std::string& path);

#ifndef _WIN32
// Runs `body` in a child process (as user nobody when asked) and returns its
// exit code, or -1 when it did not exit normally.
int inChild(const std::function<int()>& body, bool asNobody = false);
uid_t nobodyUid();
gid_t nobodyGid();
bool runningAsRoot();
#endif

}  // namespace vbmp3test
