#include <fcntl.h>
#include <stdlib.h>
#include <taglib/apefooter.h>
#include <taglib/apetag.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unknownframe.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "FdStream.h"
#include "PosixFile.h"
#include "TagFields.h"
#include "TagFile.h"
#include "platform/CodePage.h"

namespace vbmp3 {
namespace {

using TagLib::ByteVector;
using TagLib::String;
namespace ID3v2 = TagLib::ID3v2;
namespace MPEG = TagLib::MPEG;

// Audio kept in the in-memory copy on each side of the tags: enough for
// TagLib to parse the copy as it parses the file, and a check that the
// rendering left the audio where we expect it.
constexpr long kAudioSample = 4096;
// Files whose tags we cannot place are copied into memory whole.
constexpr long kLargestWholeCopy = 512L << 20;

// What the record asks to change.
struct Changes {
  std::array<std::optional<std::u16string>, kTextFieldCount> text;
  std::optional<std::int32_t> genreNumber;
  std::optional<std::int32_t> trackNumber;

  bool any() const {
    for (const auto& t : text) {
      if (t) {
        return true;
      }
    }
    return genreNumber || trackNumber;
  }

  // The genre name to write, when the name or the number changed.
  std::optional<std::u16string> genreName() const {
    if (text[kGenreName]) {
      return text[kGenreName];
    }
    if (genreNumber) {
      if (*genreNumber >= 0 && *genreNumber < kNoGenre) {
        return toUtf16(TagLib::ID3v1::genre(*genreNumber));
      }
      return std::u16string();
    }
    return std::nullopt;
  }
};

Changes changesOf(const TagFields& current, const unsigned char* record) {
  std::array<unsigned char, 656> now{};
  storeFields(current, now.data());
  Changes changes;
  for (std::size_t i = 0; i < kTextFieldCount; ++i) {
    const auto field = static_cast<TextField>(i);
    const std::string_view wanted = slotText(record, field);
    if (wanted != slotText(now.data(), field)) {
      changes.text[i] = tagkana::platform::decodeCp932(wanted);
    }
  }
  if (genreNumberOf(record) != current.genreNumber) {
    changes.genreNumber = genreNumberOf(record);
  }
  if (trackNumberOf(record) != current.trackNumber) {
    changes.trackNumber = std::max(0, trackNumberOf(record));
  }
  return changes;
}

void setTextFrame(ID3v2::Tag& tag, const char* id, const std::u16string& value,
                  String::Type encoding) {
  auto* frame = firstTextFrame(tag, id);
  if (value.empty()) {
    if (frame) {
      tag.removeFrame(frame);
    }
    return;
  }
  if (!frame) {
    frame = new ID3v2::TextIdentificationFrame(ByteVector(id), encoding);
    tag.addFrame(frame);
  }
  frame->setTextEncoding(encoding);
  frame->setText(toTagString(value));
}

void setComment(ID3v2::Tag& tag, const std::u16string& value, String::Type encoding) {
  auto* frame = plainComment(tag);
  if (value.empty()) {
    if (frame) {
      tag.removeFrame(frame);
    }
    return;
  }
  if (!frame) {
    frame = new ID3v2::CommentsFrame(encoding);
    frame->setLanguage("eng");
    tag.addFrame(frame);
  }
  frame->setTextEncoding(encoding);
  frame->setText(toTagString(value));
}

void applyToId3v2(ID3v2::Tag& tag, const Changes& changes, ID3v2::Version version) {
  // Changed text goes in Unicode; untouched frames keep their own encoding.
  const String::Type encoding = version == ID3v2::v4 ? String::UTF8 : String::UTF16;
  static constexpr std::array<const char*, 4> kFrames{"TIT2", "TPE1", "TALB", "TDRC"};
  for (std::size_t i = 0; i < kFrames.size(); ++i) {
    if (changes.text[i]) {
      setTextFrame(tag, kFrames[i], *changes.text[i], encoding);
    }
  }
  if (changes.text[kComment]) {
    setComment(tag, *changes.text[kComment], encoding);
  }
  if (const auto genre = changes.genreName()) {
    setTextFrame(tag, "TCON", *genre, encoding);
  }
  if (changes.trackNumber) {
    setTextFrame(
        tag, "TRCK",
        *changes.trackNumber > 0 ? toUtf16(String::number(*changes.trackNumber)) : std::u16string(),
        encoding);
  }
}

// A frame's header is protected; naming it through a derived class gives a
// member pointer that may be applied to any frame.
struct FrameHeaderAccess : ID3v2::Frame {
  static ID3v2::Frame::Header* of(ID3v2::Frame& frame) {
    return (frame.*(&FrameHeaderAccess::header))();
  }
};

// TagLib reads these ID3v2.3 frames as unknown ones marked "discard when the
// tag changes", so any tag it renders loses them; it rebuilds TDAT and TIME
// only from a full date in TDRC.
void keepId3v23Frames(ID3v2::Tag& tag) {
  const auto* tdrc = firstTextFrame(tag, "TDRC");
  const String date = tdrc ? tdrc->toString() : String();
  const bool rebuildsDate = date.size() >= 10 && date[4] == '-' && date[7] == '-';
  const bool rebuildsTime = rebuildsDate && date.size() >= 16 && date[10] == 'T' && date[13] == ':';
  for (auto* frame : tag.frameList()) {
    if (dynamic_cast<ID3v2::UnknownFrame*>(frame) == nullptr) {
      continue;
    }
    const ByteVector id = frame->frameID();
    if (id == "EQUA" || id == "RVAD" || id == "TRDA" || id == "TSIZ" ||
        (id == "TDAT" && !rebuildsDate) || (id == "TIME" && !rebuildsTime)) {
      FrameHeaderAccess::of(*frame)->setTagAlterPreservation(false);
    }
  }
}

void applyToApe(TagLib::APE::Tag& tag, const Changes& changes) {
  static constexpr std::array<const char*, 5> kKeys{"TITLE", "ARTIST", "ALBUM", "YEAR", "COMMENT"};
  const auto set = [&](const char* key, const std::u16string& value) {
    if (value.empty()) {
      tag.removeItem(key);
    } else {
      tag.addValue(key, toTagString(value), true);
    }
  };
  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    if (changes.text[i]) {
      set(kKeys[i], *changes.text[i]);
    }
  }
  if (const auto genre = changes.genreName()) {
    set("GENRE", *genre);
  }
  if (changes.trackNumber) {
    set("TRACK", *changes.trackNumber > 0 ? toUtf16(String::number(*changes.trackNumber))
                                          : std::u16string());
  }
}

// Our own ID3v1 writer, since TagLib's would re-render every field in
// ISO-8859-1 (and trim them) where only the changed ones may change.
void applyToId3v1(char* block, const Changes& changes) {
  const auto put = [&](std::size_t offset, std::size_t size, const std::u16string& text) {
    tagkana::platform::encodeCp932Slot(text, std::span(block + offset, size));
  };
  static constexpr std::array<std::size_t, 4> kOffsets{3, 33, 63, 93};
  static constexpr std::array<std::size_t, 4> kSizes{30, 30, 30, 4};
  for (std::size_t i = 0; i < kOffsets.size(); ++i) {
    if (changes.text[i]) {
      put(kOffsets[i], kSizes[i], *changes.text[i]);
    }
  }
  if (changes.trackNumber) {
    const std::int32_t track = *changes.trackNumber;
    if (track > 0 && track <= 255) {
      block[125] = 0;
      block[126] = static_cast<char>(track);
    } else if (track == 0 && block[125] == 0) {
      block[126] = 0;
    }
  }
  if (changes.text[kComment]) {
    const bool hasTrack = block[125] == 0 && block[126] != 0;
    put(97, hasTrack ? 28 : 30, *changes.text[kComment]);
  }
  if (changes.text[kGenreName]) {
    block[127] =
        static_cast<char>(changes.text[kGenreName]->empty()
                              ? kNoGenre
                              : TagLib::ID3v1::genreIndex(toTagString(*changes.text[kGenreName])));
  } else if (changes.genreNumber && *changes.genreNumber >= 0 && *changes.genreNumber <= 255) {
    block[127] = static_cast<char>(*changes.genreNumber);
  }
}

std::uint32_t syncSafe(const char* p) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    v = (v << 7) | (static_cast<unsigned char>(p[i]) & 0x7F);
  }
  return v;
}

// The size of the ID3v2 tag at the start of `data`, 0 when there is none.
long id3v2SizeAt(const ByteVector& data) {
  if (data.size() < 10 || !data.startsWith("ID3")) {
    return 0;
  }
  const bool footer = (static_cast<unsigned char>(data[5]) & 0x10) != 0;
  return 10 + static_cast<long>(syncSafe(data.data() + 6)) + (footer ? 10 : 0);
}

// The size of the APE tag that ends at `end`, 0 when there is none.
long apeSizeBefore(const ByteVector& data, long end) {
  if (end < 32 || ByteVector(data.data() + end - 32, 8) != "APETAGEX") {
    return 0;
  }
  const auto le32 = [&](long at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
      v = (v << 8) | static_cast<unsigned char>(data[static_cast<unsigned int>(at + i)]);
    }
    return v;
  };
  const bool header = (le32(end - 32 + 20) & 0x80000000u) != 0;
  return static_cast<long>(le32(end - 32 + 12)) + (header ? 32 : 0);
}

// Where the frames of a tag that TagLib rendered end and its padding begins
// (TagLib renders neither unsynchronisation nor an extended header).
std::size_t framesEnd(const std::string& tag) {
  const bool v4 = tag[3] == 4;
  std::size_t at = 10;
  while (at + 10 <= tag.size() && tag[at] != '\0') {
    std::uint32_t size = 0;
    if (v4) {
      size = syncSafe(tag.data() + at + 4);
    } else {
      for (std::size_t i = 4; i < 8; ++i) {
        size = (size << 8) | static_cast<unsigned char>(tag[at + i]);
      }
    }
    if (at + 10 + size > tag.size()) {
      return tag.size();
    }
    at += 10 + size;
  }
  return at;
}

// Fits a rendered ID3v2 tag into `size` bytes, the space the old tag took,
// padding it with zeros so that the audio stays where it is. False when its
// frames do not fit.
bool fitId3v2(std::string& tag, long size) {
  if (tag.size() < 10 || size - 10 >= (1L << 28) ||
      (static_cast<unsigned char>(tag[5]) & 0xF0) != 0) {
    return false;
  }
  const std::size_t frames = framesEnd(tag);
  if (static_cast<long>(frames) > size) {
    return false;
  }
  tag.resize(frames);
  tag.resize(static_cast<std::size_t>(size), '\0');
  const auto body = static_cast<std::uint32_t>(size - 10);
  for (int i = 0; i < 4; ++i) {
    tag[6 + static_cast<std::size_t>(i)] = static_cast<char>((body >> (7 * (3 - i))) & 0x7F);
  }
  return true;
}

// Where the tags lie in the file: [0, frontEnd) the ID3v2 tag at the start,
// [backStart, length) the APE and ID3v1 tags at the end.
struct Layout {
  long length = 0;
  long frontEnd = 0;
  long backStart = 0;
  bool known = false;
};

Layout layoutOf(MPEG::File& file, long length) {
  Layout layout;
  layout.length = length;
  file.seek(0);
  const bool id3AtStart = file.readBlock(3) == ByteVector("ID3");
  // An ID3v2 tag that TagLib found further in, behind other data, is left to
  // the whole-file path.
  if (file.hasID3v2Tag() && !id3AtStart) {
    return layout;
  }
  layout.frontEnd =
      file.hasID3v2Tag() ? static_cast<long>(file.ID3v2Tag()->header()->completeTagSize()) : 0;
  const long v1Start = file.hasID3v1Tag() ? length - 128 : length;
  layout.backStart = file.hasAPETag()
                         ? v1Start - static_cast<long>(file.APETag()->footer()->completeTagSize())
                         : v1Start;
  layout.known = layout.frontEnd <= layout.backStart && layout.backStart <= length;
  return layout;
}

struct Patch {
  off_t offset;
  std::string before;
  std::string after;
};

// Writes only the bytes that differ; on failure puts back what was written.
bool writePatches(int fd, const std::vector<Patch>& patches) {
  std::vector<std::pair<off_t, std::string_view>> undo;
  bool ok = true;
  for (const auto& p : patches) {
    std::size_t first = 0;
    while (first < p.after.size() && p.after[first] == p.before[first]) {
      ++first;
    }
    if (first == p.after.size()) {
      continue;
    }
    std::size_t last = p.after.size();
    while (p.after[last - 1] == p.before[last - 1]) {
      --last;
    }
    const off_t at = p.offset + static_cast<off_t>(first);
    const std::string_view before(p.before.data() + first, last - first);
    undo.emplace_back(at, before);
    if (!pwriteExact(fd, p.after.data() + first, last - first, at)) {
      ok = false;
      break;
    }
  }
  if (!ok) {
    for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
      pwriteExact(fd, it->second.data(), it->second.size(), it->first);
    }
  }
  return ok;
}

ID3v2::Version targetVersion(MPEG::File& file, std::int32_t version) {
  if (version == 4) {
    return ID3v2::v4;
  }
  if (version == 0 && file.hasID3v2Tag() && file.ID3v2Tag()->header()->majorVersion() == 4) {
    return ID3v2::v4;
  }
  // ID3v2.2 cannot be written, and Windows Explorer does not read 2.4.
  return ID3v2::v3;
}

std::string bytesOf(const ByteVector& v, long from, long to) {
  return std::string(v.data() + from, static_cast<std::size_t>(to - from));
}

// True when `image` parses as an MP3 whose title reads as `title`: TagLib
// may render damaged frames into something else, and then nothing is written.
bool readsBack(const ByteVector& image, const std::u16string& title) {
  TagLib::ByteVectorStream stream(image);
  MPEG::File file(&stream, ID3v2::FrameFactory::instance(), false);
  return file.isValid() && file.firstFrameOffset() >= 0 && readFields(file).text[kTitle] == title;
}

enum class Outcome { kWritten, kFailed, kRetryWhole };

// TagLib renders on an in-memory copy of the tags and some audio around
// them; we write the result, in place when the tags keep their size, else
// into a new file that replaces the old one.
Outcome writeThroughCopy(int fd, const std::string& path, const struct stat& info, MPEG::File& file,
                         Layout layout, const Changes& changes, const std::u16string& title,
                         std::int32_t version, bool keepV1) {
  if (!layout.known) {
    if (layout.length > kLargestWholeCopy) {
      return Outcome::kFailed;
    }
    layout.frontEnd = layout.backStart = layout.length;
  }
  const long audio = layout.backStart - layout.frontEnd;
  const long head = std::min(audio, kAudioSample);
  const long tail = std::min(audio - head, kAudioSample);
  const long sample = head + tail;

  ByteVector original(
      static_cast<unsigned int>(layout.frontEnd + sample + layout.length - layout.backStart), '\0');
  const long firstPart = layout.frontEnd + head;
  if (!preadExact(fd, original.data(), static_cast<std::size_t>(firstPart), 0) ||
      !preadExact(fd, original.data() + firstPart,
                  static_cast<std::size_t>(tail + layout.length - layout.backStart),
                  layout.backStart - tail)) {
    return Outcome::kFailed;
  }

  TagLib::ByteVectorStream stream(original);
  MPEG::File copy(&stream, ID3v2::FrameFactory::instance(), false);
  if (layout.known &&
      (copy.hasID3v2Tag() != file.hasID3v2Tag() || copy.hasAPETag() != file.hasAPETag() ||
       copy.hasID3v1Tag() != file.hasID3v1Tag() ||
       (file.hasID3v2Tag() && copy.ID3v2Tag()->header()->completeTagSize() !=
                                  file.ID3v2Tag()->header()->completeTagSize()))) {
    return Outcome::kRetryWhole;
  }

  const ID3v2::Version target = targetVersion(copy, version);
  const bool wasV23 = copy.hasID3v2Tag() && copy.ID3v2Tag()->header()->majorVersion() == 3;
  applyToId3v2(*copy.ID3v2Tag(true), changes, target);
  if (wasV23 && target == ID3v2::v3) {
    keepId3v23Frames(*copy.ID3v2Tag());
  }
  int tags = MPEG::File::ID3v2;
  if (copy.hasAPETag()) {
    applyToApe(*copy.APETag(), changes);
    tags |= MPEG::File::APE;
  }
  if (!copy.save(tags, TagLib::File::StripNone, target, TagLib::File::DoNotDuplicate)) {
    return Outcome::kFailed;
  }
  ByteVector& rendered = *stream.data();
  const long renderedLength = static_cast<long>(rendered.size());
  if (keepV1 && file.hasID3v1Tag()) {
    char* block = rendered.data() + renderedLength - 128;
    if (renderedLength < 128 || std::memcmp(block, "TAG", 3) != 0) {
      return Outcome::kFailed;
    }
    applyToId3v1(block, changes);
  }

  if (!layout.known) {
    if (!readsBack(rendered, title)) {
      return Outcome::kFailed;
    }
    const std::string after = bytesOf(rendered, 0, renderedLength);
    if (renderedLength == layout.length) {
      return writePatches(fd, {{0, bytesOf(original, 0, layout.length), after}}) ? Outcome::kWritten
                                                                                 : Outcome::kFailed;
    }
    return replaceFile(path, info, after, fd, 0, 0, {}) ? Outcome::kWritten : Outcome::kFailed;
  }

  // Find the new tags around the audio sample, which must be unchanged.
  const long newFrontEnd = id3v2SizeAt(rendered);
  const long v1Size = file.hasID3v1Tag() ? 128 : 0;
  const long newBackStart =
      renderedLength - v1Size - apeSizeBefore(rendered, renderedLength - v1Size);
  if (newBackStart - newFrontEnd != sample ||
      std::memcmp(rendered.data() + newFrontEnd, original.data() + layout.frontEnd,
                  static_cast<std::size_t>(sample)) != 0) {
    return Outcome::kRetryWhole;
  }

  std::string front = bytesOf(rendered, 0, newFrontEnd);
  const std::string back = bytesOf(rendered, newBackStart, renderedLength);
  if (layout.frontEnd > 0 && newFrontEnd > 0 && newFrontEnd != layout.frontEnd) {
    fitId3v2(front, layout.frontEnd);
  }
  ByteVector check(front.data(), static_cast<unsigned int>(front.size()));
  check.append(ByteVector(original.data() + layout.frontEnd, static_cast<unsigned int>(sample)));
  check.append(ByteVector(back.data(), static_cast<unsigned int>(back.size())));
  if (!readsBack(check, title)) {
    return Outcome::kFailed;
  }
  const long oldBackSize = layout.length - layout.backStart;
  if (static_cast<long>(front.size()) == layout.frontEnd &&
      static_cast<long>(back.size()) == oldBackSize) {
    const std::vector<Patch> patches{
        {0, bytesOf(original, 0, layout.frontEnd), front},
        {layout.backStart,
         bytesOf(original, layout.frontEnd + sample, layout.frontEnd + sample + oldBackSize),
         back}};
    return writePatches(fd, patches) ? Outcome::kWritten : Outcome::kFailed;
  }
  return replaceFile(path, info, front, fd, layout.frontEnd, audio, back) ? Outcome::kWritten
                                                                          : Outcome::kFailed;
}

// The title as a fresh read of the file gives it now.
std::optional<std::u16string> titleOnDisk(const std::string& path) {
  struct stat info {};
  const UniqueFd fd = openRegularForRead(path.c_str(), info);
  if (!fd) {
    return std::nullopt;
  }
  FdStream stream(fd.get(), path, info.st_size);
  BoundedFrameFactory factory;
  MPEG::File file(&stream, &factory, false);
  if (factory.refused() || !file.isValid() || file.firstFrameOffset() < 0) {
    return std::nullopt;
  }
  TagFields fields = readFields(file);
  if (stream.failed()) {
    return std::nullopt;
  }
  return std::move(fields.text[kTitle]);
}

}  // namespace

bool writeTag(const char* path, const unsigned char* record, std::int32_t version, bool keepV1) {
  if (version != 0 && version != 3 && version != 4) {
    return false;
  }
  // Through a symbolic link to the file itself, which is what gets replaced.
  const std::unique_ptr<char, decltype(&::free)> real(::realpath(path, nullptr), &::free);
  if (!real) {
    return false;
  }
  const std::string target = real.get();
  struct stat info {};
  const UniqueFd fd(::open(target.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  // A file whose owner may not write it is read-only, even to root.
  if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      (info.st_mode & S_IWUSR) == 0) {
    return false;
  }

  FdStream stream(fd.get(), target, info.st_size);
  BoundedFrameFactory factory;
  MPEG::File file(&stream, &factory, false);
  if (factory.refused() || !file.isValid() || file.firstFrameOffset() < 0) {
    return false;
  }
  const TagFields current = readFields(file);
  if (stream.failed()) {
    return false;
  }
  const Changes changes = changesOf(current, record);
  if (!changes.any()) {
    return true;
  }

  const Layout layout = layoutOf(file, static_cast<long>(info.st_size));
  if (stream.failed()) {
    return false;
  }
  const std::u16string& expected =
      changes.text[kTitle] ? *changes.text[kTitle] : current.text[kTitle];
  Outcome outcome =
      writeThroughCopy(fd.get(), target, info, file, layout, changes, expected, version, keepV1);
  if (outcome == Outcome::kRetryWhole && layout.known) {
    outcome = writeThroughCopy(fd.get(), target, info, file, Layout{layout.length, 0, 0, false},
                               changes, expected, version, keepV1);
  }
  if (outcome != Outcome::kWritten) {
    return false;
  }
  // What reached the disk, read as a new open reads it.
  return titleOnDisk(target) == expected;
}

}  // namespace vbmp3
