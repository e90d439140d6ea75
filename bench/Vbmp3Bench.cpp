// Reads and writes tags on 1,000 files of about 200 KB, 50 of 200 KB with a
// 2 MB picture and 50 of about 8 MB through the four entry points, beside bare
// TagLib (its save alone and followed by fdatasync, since ours syncs) and a
// plain copy in the same run. Prints milliseconds per file, the median of
// three runs. A VBMP3 write is the write call alone, which reads the file
// itself as TagLib's save does; the program's read just before it is not
// counted. On tmpfs a sync costs nothing, which shows the edit itself.
// A write that must make a new file is set beside two plain copies of the
// same file: "copy+fsync+rename" (the file synced, the rename not) and
// "copy+fsync+rename+folder fsync" (the rename made durable too, as a write
// in the default mode does), file by file; and a run of the program's kind
// (one syncfs at its end) beside a run of the first copy, taking turns, the
// median of five each.
//   vbmp3_bench [folder [set ...]]   (default: a new folder under the temp
//   directory, and every set: small pict large sgrow pgrow lgrow)
#include <fcntl.h>
#include <stdlib.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Mp3Fixture.h"
#include "vbmp3.h"

namespace {

using namespace vbmp3test;
namespace fs = std::filesystem;

const std::u16string kTitleA = u"あいうえおかきくけこ";
const std::u16string kTitleB = u"さしすせそたちつてと";
const std::string kTitleASjis =
    "\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8\x82\xA9\x82\xAB\x82\xAD\x82\xAF\x82\xB1";
const std::string kTitleBSjis =
    "\x82\xB3\x82\xB5\x82\xB7\x82\xB9\x82\xBB\x82\xBD\x82\xBF\x82\xC2\x82\xC4\x82\xC6";

struct Set {
  std::string folder;
  std::string name;
  std::vector<std::string> paths;
  std::vector<std::string> contents;
};

// Four kinds in turn: ample padding, no padding, a picture, ID3v1 beside ID3v2;
// or every one with a 2 MB picture after the title.
std::string makeFile(std::size_t index, std::size_t frames, bool noPadding, bool bigPicture) {
  Id3v2 tag(3);
  tag.frame("TIT2", utf16Text(kTitleA)).frame("TPE1", latin1Text("Artist"));
  std::string tail;
  if (bigPicture) {
    tag.frame("APIC", std::string("\0image/jpeg\0\x03\0", 14) + std::string(2u << 20, '\x55'))
        .padding(noPadding ? 0 : 1024);
    return tag.render() + mpegFrames(frames, static_cast<std::uint32_t>(index));
  }
  switch (noPadding ? 1 : index % 4) {
    case 0:
      tag.padding(64 * 1024);
      break;
    case 1:
      break;
    case 2:
      tag.frame("APIC", std::string("\0image/jpeg\0\x03\0", 14) + std::string(40000, '\x55'))
          .padding(512);
      break;
    default:
      tag.padding(2048);
      tail = id3v1("aiueo", "Artist");
  }
  return tag.render() + mpegFrames(frames, static_cast<std::uint32_t>(index)) + tail;
}

Set makeSet(const std::string& folder, const std::string& name, std::size_t count,
            std::size_t frames, bool noPadding, bool bigPicture = false) {
  Set set{folder, name, {}, {}};
  for (std::size_t i = 0; i < count; ++i) {
    set.paths.push_back(folder + "/" + name + std::to_string(i) + ".mp3");
    set.contents.push_back(makeFile(i, frames, noPadding, bigPicture));
  }
  return set;
}

void restore(const Set& set) {
  for (std::size_t i = 0; i < set.paths.size(); ++i) {
    std::ofstream out(set.paths[i], std::ios::binary | std::ios::trunc);
    out.write(set.contents[i].data(), static_cast<std::streamsize>(set.contents[i].size()));
  }
  ::sync();
}

using Millis = std::chrono::duration<double, std::milli>;
// What one file cost, or none when it failed.
using Cost = std::optional<Millis>;

template <typename F>
Cost timed(F f) {
  const auto start = std::chrono::steady_clock::now();
  if (!f()) {
    return std::nullopt;
  }
  return std::chrono::steady_clock::now() - start;
}

// The run's writes made durable at once, as the program does before it
// reports them when the library leaves that to it.
bool syncRun(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  const bool synced = fd >= 0 && ::syncfs(fd) == 0;
  if (fd >= 0) {
    ::close(fd);
  }
  return synced;
}

// Milliseconds per file, the median of three runs; `prepare` runs untimed,
// `finish` timed after the last file.
double timePerFile(
    const Set& set, const std::function<void()>& prepare,
    const std::function<Cost(const std::string&, int)>& each,
    const std::function<Cost()>& finish = [] { return Cost(Millis{}); }) {
  std::array<double, 3> runs{};
  for (int run = 0; run < 3; ++run) {
    prepare();
    Millis took{};
    for (const auto& path : set.paths) {
      const Cost cost = each(path, run);
      if (!cost) {
        std::fprintf(stderr, "failed: %s\n", path.c_str());
        std::exit(1);
      }
      took += *cost;
    }
    const Cost last = finish();
    if (!last) {
      std::perror("syncfs");
      std::exit(1);
    }
    took += *last;
    runs[static_cast<std::size_t>(run)] = took.count() / static_cast<double>(set.paths.size());
  }
  std::sort(runs.begin(), runs.end());
  return runs[1];
}

bool taglibRead(const std::string& path) {
  TagLib::MPEG::File file(path.c_str(), false);
  return file.isValid() && !file.tag()->title().isEmpty();
}

bool vbmp3Read(const std::string& path) {
  std::array<unsigned char, 656> record{};
  return vbmp3_getFileTagInfoEX(path.c_str(), record.data()) != 0;
}

bool taglibSave(const std::string& path, const std::u16string& title) {
  TagLib::MPEG::File file(path.c_str(), false);
  std::wstring wide(title.begin(), title.end());
  file.ID3v2Tag(true)->setTitle(TagLib::String(wide));
  return file.save(TagLib::MPEG::File::AllTags, TagLib::File::StripNone, TagLib::ID3v2::v3,
                   TagLib::File::DoNotDuplicate);
}

bool taglibSaveSynced(const std::string& path, const std::u16string& title) {
  if (!taglibSave(path, title)) {
    return false;
  }
  const int fd = ::open(path.c_str(), O_RDONLY);
  const bool synced = fd >= 0 && ::fdatasync(fd) == 0;
  if (fd >= 0) {
    ::close(fd);
  }
  return synced;
}

// The write alone: the program reads the record just before, untimed.
Cost vbmp3Write(const std::string& path, const std::string& title) {
  std::array<unsigned char, 656> record{};
  if (vbmp3_getFileTagInfoEX(path.c_str(), record.data()) == 0) {
    return std::nullopt;
  }
  std::memset(record.data(), ' ', 128);
  std::memcpy(record.data(), title.data(), title.size());
  return timed([&] { return vbmp3_setTagInfoEX(path.c_str(), record.data(), 0, 1) != 0; });
}

// What a careful writer of a whole new file pays at least; with the folder
// synced after the rename, what it pays for the rename to be on disk too.
bool copyFsyncRename(const std::string& path, bool syncFolder = false) {
  const std::string temp = path + ".copy";
  fs::copy_file(path, temp, fs::copy_options::overwrite_existing);
  const int fd = ::open(temp.c_str(), O_RDWR);
  const bool synced = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) {
    ::close(fd);
  }
  if (!synced || ::rename(temp.c_str(), path.c_str()) != 0) {
    return false;
  }
  if (!syncFolder) {
    return true;
  }
  const int folder = ::open(fs::path(path).parent_path().c_str(), O_RDONLY | O_DIRECTORY);
  const bool done = folder >= 0 && ::fsync(folder) == 0;
  if (folder >= 0) {
    ::close(folder);
  }
  return done;
}

void report(const Set& set) {
  restore(set);
  const auto none = [] {};
  const double bareRead = timePerFile(
      set, none, [](const std::string& p, int) { return timed([&] { return taglibRead(p); }); });
  const double ourRead = timePerFile(
      set, none, [](const std::string& p, int) { return timed([&] { return vbmp3Read(p); }); });
  std::printf("%-6s read      TagLib %7.3f ms  VBMP3 %7.3f ms  ratio %.2f\n", set.name.c_str(),
              bareRead, ourRead, ourRead / bareRead);

  const auto fresh = [&] { restore(set); };
  const double taglibFit = timePerFile(set, fresh, [](const std::string& p, int run) {
    return timed([&] { return taglibSave(p, run % 2 ? kTitleA : kTitleB); });
  });
  const auto ourWrite = [](const std::string& p, int run) {
    return vbmp3Write(p, run % 2 ? kTitleASjis : kTitleBSjis);
  };
  const double ourFit = timePerFile(set, fresh, ourWrite);
  ::setenv(VBMP3_SYNC_VARIABLE, VBMP3_SYNC_RUN, 1);
  vbmp3_init();  // learns the mode, and takes the variable away
  const double ourRunFit =
      timePerFile(set, fresh, ourWrite, [&] { return timed([&] { return syncRun(set.folder); }); });
  vbmp3_init();
  const double taglibSynced = timePerFile(set, fresh, [](const std::string& p, int run) {
    return timed([&] { return taglibSaveSynced(p, run % 2 ? kTitleA : kTitleB); });
  });
  std::printf(
      "%-6s fits      TagLib %7.3f ms  +fdatasync %7.3f ms  VBMP3 %7.3f ms  speed-up %.2f / "
      "%.2f  write/read %.2f\n",
      set.name.c_str(), taglibFit, taglibSynced, ourFit, taglibFit / ourFit, taglibSynced / ourFit,
      ourFit / ourRead);
  std::printf("%-6s fits      VBMP3 with one syncfs for the run %7.3f ms  speed-up %.2f / %.2f\n",
              set.name.c_str(), ourRunFit, taglibFit / ourRunFit, taglibSynced / ourRunFit);
}

void restoreOne(const Set& set, std::size_t i) {
  std::ofstream out(set.paths[i], std::ios::binary | std::ios::trunc);
  out.write(set.contents[i].data(), static_cast<std::streamsize>(set.contents[i].size()));
}

// File by file in turn, so that the three see the same state of a shared
// disk, the restored file on it before each.
void reportGrowth(const Set& set) {
  std::string longSjis;
  std::u16string longTitle;
  for (int i = 0; i < 60; ++i) {
    longSjis += "\x82\xA0";
    longTitle += u'あ';
  }
  std::array<std::array<double, 3>, 4> runs{};  // [what][run]
  for (int run = 0; run < 3; ++run) {
    std::array<Millis, 4> took{};
    for (std::size_t i = 0; i < set.paths.size(); ++i) {
      const std::string& path = set.paths[i];
      const std::array<std::function<Cost()>, 4> ways{
          [&] { return timed([&] { return copyFsyncRename(path); }); },
          [&] { return timed([&] { return taglibSave(path, longTitle); }); },
          [&] { return vbmp3Write(path, longSjis); },
          [&] { return timed([&] { return copyFsyncRename(path, true); }); }};
      for (std::size_t w = 0; w < ways.size(); ++w) {
        restoreOne(set, i);
        syncRun(set.folder);
        const Cost cost = ways[w]();
        if (!cost) {
          std::fprintf(stderr, "failed: %s\n", path.c_str());
          std::exit(1);
        }
        took[w] += *cost;
      }
    }
    for (std::size_t w = 0; w < runs.size(); ++w) {
      runs[w][static_cast<std::size_t>(run)] =
          took[w].count() / static_cast<double>(set.paths.size());
    }
  }
  for (auto& r : runs) {
    std::sort(r.begin(), r.end());
  }
  std::printf(
      "%-6s grows     copy+fsync+rename %7.3f ms  TagLib %7.3f ms  VBMP3 %7.3f ms  ratio to copy "
      "%.2f\n",
      set.name.c_str(), runs[0][1], runs[1][1], runs[2][1], runs[2][1] / runs[0][1]);
  std::printf("%-6s grows     copy+fsync+rename+folder fsync %7.3f ms  ratio to it %.2f\n",
              set.name.c_str(), runs[3][1], runs[2][1] / runs[3][1]);

  // The run the program makes, every file in turn and then one syncfs,
  // beside a run of copies: a file system pays for one write in the next.
  // The two take turns, five times each, so that a slower spell of a shared
  // disk falls on both.
  std::array<std::array<double, 5>, 2> batches{};  // [copies, ours][turn]
  for (std::size_t turn = 0; turn < batches[0].size(); ++turn) {
    for (std::size_t w = 0; w < batches.size(); ++w) {
      restore(set);
      if (w == 1) {
        ::setenv(VBMP3_SYNC_VARIABLE, VBMP3_SYNC_RUN, 1);
        vbmp3_init();  // learns the mode, and takes the variable away
      }
      Millis took{};
      for (const std::string& path : set.paths) {
        const Cost cost =
            w == 0 ? timed([&] { return copyFsyncRename(path); }) : vbmp3Write(path, longSjis);
        const Cost synced = w == 1 && &path == &set.paths.back()
                                ? timed([&] { return syncRun(set.folder); })
                                : Cost(Millis{});
        if (!cost || !synced) {
          std::fprintf(stderr, "failed: %s\n", path.c_str());
          std::exit(1);
        }
        took += *cost + *synced;
      }
      vbmp3_init();
      batches[w][turn] = took.count() / static_cast<double>(set.paths.size());
    }
  }
  for (auto& b : batches) {
    std::sort(b.begin(), b.end());
  }
  const double copies = batches[0][2];
  const double runSynced = batches[1][2];
  std::printf(
      "%-6s grows     in a run: copy+fsync+rename %7.3f ms  VBMP3 with one syncfs for the "
      "run %7.3f ms  ratio to copy %.2f\n",
      set.name.c_str(), copies, runSynced, runSynced / copies);
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder;
  if (argc > 1) {
    folder = argv[1];
    fs::create_directories(folder);
  } else {
    folder = (fs::temp_directory_path() / "vbmp3-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
      return 1;
    }
  }
  // Only the sets named after the folder, when some are.
  const std::vector<std::string> only(argv + std::min(argc, 2), argv + argc);
  const auto wanted = [&](const std::string& name) {
    return only.empty() || std::find(only.begin(), only.end(), name) != only.end();
  };
  // 480 frames are 200 KB; 19,200 frames are 8 MB.
  const std::array<std::pair<Set, void (*)(const Set&)>, 6> sets{{
      {makeSet(folder, "small", 1000, 480, false), report},
      {makeSet(folder, "pict", 50, 480, false, true), report},
      {makeSet(folder, "large", 50, 19200, false), report},
      {makeSet(folder, "sgrow", 1000, 480, true), reportGrowth},
      {makeSet(folder, "pgrow", 50, 480, true, true), reportGrowth},
      {makeSet(folder, "lgrow", 50, 19200, true), reportGrowth},
  }};
  for (const auto& [set, measure] : sets) {
    if (wanted(set.name)) {
      measure(set);
    }
  }
  if (argc <= 1) {
    fs::remove_all(folder);
  }
  return 0;
}
