// Whole runs of "表示" and "変換" through the window, offscreen, on 1,000
// files of about 200 KB whose titles fit their tags' padding, beside bare
// TagLib reading the title and TagLib's own in-place save of the same files
// in the same run. Prints milliseconds per file, the median of three runs.
//   commands_bench [folder]   (default: a new folder under the temp directory)
#include <stdlib.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Mp3Fixture.h"
#include "WindowBench.h"
#include "commands/MessageBoxes.h"
#include "platform/FileSystem.h"
#include "taglib/Vbmp3Library.h"
#include "ui/Form1.h"

namespace {

using namespace tagkana;
using windowbench::check;
namespace fs = std::filesystem;

constexpr std::size_t kFiles = 1000;
constexpr std::size_t kFrames = 480;  // 417 bytes each: about 200 KB of audio

const std::array<std::u16string, 4> kTitles = {u"sakura no hana", u"Tokyo tawa-",
                                               u"kyou mo ashita mo", u"natsu matsuri"};
const std::u16string kSavedTitle = u"さくら の はな";

// Answers every box with OK and keeps the last text.
class OkBoxes final : public MessageBoxes {
 public:
  BoxAnswer show(std::u16string_view text, std::u16string_view, BoxButtons, BoxIcon) override {
    last.assign(text);
    ++count;
    return BoxAnswer::Ok;
  }
  std::u16string last;
  int count = 0;
};

struct Files {
  std::vector<fs::path> paths;
  std::vector<std::string> audio;  // a few kinds, shared by the files

  std::string contents(std::size_t i) const {
    using namespace vbmp3test;
    return Id3v2(3)
               .frame("TIT2", utf16Text(kTitles[i % kTitles.size()]))
               .frame("TPE1", latin1Text("Artist"))
               .frame("TALB", latin1Text("Album"))
               .padding(4096)
               .render() +
           audio[i % audio.size()];
  }
  void restore() const {
    for (std::size_t i = 0; i < paths.size(); ++i) {
      const std::string bytes = contents(i);
      std::ofstream out(paths[i], std::ios::binary | std::ios::trunc);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      if (!out.flush()) {
        std::fprintf(stderr, "cannot write %s\n", paths[i].c_str());
        std::exit(1);
      }
    }
    // Written back now, so that no timed run pays for these writes.
    ::sync();
  }
};

double perFile(std::chrono::steady_clock::duration took) {
  return std::chrono::duration<double, std::milli>(took).count() / static_cast<double>(kFiles);
}

double median(std::array<double, 3> runs) {
  std::sort(runs.begin(), runs.end());
  return runs[1];
}

double timed(const std::function<void()>& run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return perFile(std::chrono::steady_clock::now() - start);
}

}  // namespace

int main(int argc, char* argv[]) {
  windowbench::startAsTheProgram();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tagkana"));

  const windowbench::Folder where(argc, argv, 1, "tagkana-bench");
  const fs::path& folder = where.path();

  Files files;
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    files.audio.push_back(vbmp3test::mpegFrames(kFrames, seed));
  }
  for (std::size_t i = 0; i < kFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%04zu.mp3", i);
    files.paths.push_back(folder / name);
  }
  files.restore();

  Vbmp3Library library;
  OkBoxes boxes;
  Form1Hooks hooks;
  hooks.endProgram = [] {};
  Form1 form(library, boxes, platform::systemFileSystem(), std::move(hooks));
  form.show();
  auto* btnGet = form.findChild<QPushButton*>(QStringLiteral("btnGet"));
  auto* btnChange = form.findChild<QPushButton*>(QStringLiteral("btnChange"));
  auto* btnSelectall = form.findChild<QPushButton*>(QStringLiteral("btnSelectall"));
  auto* menSelectall2 = form.findChild<QAction*>(QStringLiteral("menSelectall2"));
  QObject* File1 = form.findChild<QObject*>(QStringLiteral("File1"));
  QObject* List1 = form.findChild<QObject*>(QStringLiteral("List1"));
  check(btnGet && btnChange && btnSelectall && menSelectall2 && File1 && List1, "controls");
  form.findChild<QObject*>(QStringLiteral("Dir1"))
      ->setProperty("Path", QString::fromStdString(folder.string()));
  check(File1->property("ListCount").toInt() == static_cast<int>(kFiles), "File1 lists the files");
  menSelectall2->trigger();

  const TagLib::String savedTitle(std::wstring(kSavedTitle.begin(), kSavedTitle.end()));
  std::array<double, 3> bareRead{}, bindingRead{}, preview{}, taglibSave{}, writeBack{};
  for (std::size_t run = 0; run < 3; ++run) {
    if (run > 0) {
      files.restore();
    }
    std::size_t titleLengths = 0;
    bareRead[run] = timed([&] {
      for (const fs::path& path : files.paths) {
        TagLib::MPEG::File file(path.c_str(), false);
        titleLengths += file.tag()->title().size();
      }
    });
    check(titleLengths == 13750, "TagLib reads the titles");

    // What the preview spends in the tag library, the record conversion included.
    bindingRead[run] = timed([&] {
      TagRecord record;
      AnsiTagRecord buffer{};
      for (const fs::path& path : files.paths) {
        check(library.getFileTagInfoEX(path.u16string(), record, buffer), "the binding reads");
      }
    });

    preview[run] = timed([&] {
      btnGet->click();
      QCoreApplication::processEvents();
    });
    QString row;
    QMetaObject::invokeMethod(List1, "List", Q_RETURN_ARG(QString, row), Q_ARG(int, 1));
    check(List1->property("ListCount").toInt() == static_cast<int>(kFiles) &&
              row == QStringLiteral("2. Tokyo tawa- → ときょ たわっ"),
          "the preview lists every file");

    files.restore();
    taglibSave[run] = timed([&] {
      for (const fs::path& path : files.paths) {
        TagLib::MPEG::File file(path.c_str(), false);
        file.tag()->setTitle(savedTitle);
        check(file.save(TagLib::MPEG::File::AllTags, TagLib::File::StripNone, TagLib::ID3v2::v3,
                        TagLib::File::DoNotDuplicate),
              "TagLib saves");
      }
    });

    files.restore();
    btnSelectall->click();
    const int boxesBefore = boxes.count;
    writeBack[run] = timed([&] {
      btnChange->click();
      QCoreApplication::processEvents();
    });
    const std::u16string tail = u"f0999.mp3　成功\r\n";
    check(boxes.count == boxesBefore + 2 && boxes.last.starts_with(u"完了しました") &&
              boxes.last.ends_with(tail),
          "the write-back writes every file");
    TagLib::MPEG::File first(files.paths[0].c_str(), false);
    check(first.tag()->title() == savedTitle, "the window wrote the title");
  }

  const double read = median(bareRead), shown = median(preview);
  const double save = median(taglibSave), written = median(writeBack);
  std::printf("%zu files of about %zu KB, ms per file, median of 3 runs\n", kFiles,
              fs::file_size(files.paths[0]) / 1024);
  std::printf("preview     window %7.4f  TagLib read %7.4f  ratio    %.2f (target <= 1.5)\n", shown,
              read, shown / read);
  std::printf("            of which the tag library's reads %7.4f\n", median(bindingRead));
  std::printf("write-back  window %7.4f  TagLib save %7.4f  speed-up %.2f (target >= 1.5)\n",
              written, save, save / written);

  return 0;
}
