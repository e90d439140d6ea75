#include <taglib/apeitem.h>
#include <taglib/apetag.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <zlib.h>

#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Ape.h"
#include "FdStream.h"
#include "Id3v1.h"
#include "Id3v2.h"
#include "Mpeg.h"
#include "PosixFile.h"
#include "TagFields.h"
#include "TagFile.h"
#include "record/Cp932.h"
#include "record/Utf8.h"
#include "vbmp3.h"

namespace vbmp3 {
namespace {

using TagLib::ByteVector;
using TagLib::String;
namespace ID3v2 = TagLib::ID3v2;
namespace MPEG = TagLib::MPEG;

// Audio kept in the copy TagLib judges, on each side of the tags: enough for
// it to find the first frame and the tags at the end as it does in the file.
constexpr off_t kAudioSample = 8192;
// Bytes before an ID3v2 tag that does not start the file.
constexpr off_t kLargestPrefix = 1 << 20;

using Record = std::array<unsigned char, VBMP3_RECORD_SIZE>;

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

  std::optional<std::u16string> track() const {
    if (!trackNumber) {
      return std::nullopt;
    }
    return *trackNumber > 0 ? toUtf16(String::number(*trackNumber)) : std::u16string();
  }
};

Changes changesOf(const TagFields& current, const unsigned char* record) {
  Record now{};
  storeFields(current, now.data());
  Changes changes;
  for (std::size_t i = 0; i < kTextFieldCount; ++i) {
    const auto field = static_cast<TextField>(i);
    const std::string_view wanted = slotText(record, field);
    if (wanted != slotText(now.data(), field)) {
      changes.text[i] = tagkana::record::decodeCp932(wanted);
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

// One field as the tags carry it: the ID3v2 frame ids by version (2.2,
// 2.3, 2.4) and the APE key.
struct FieldFrame {
  std::array<const char*, 3> ids;
  const char* apeKey;
  bool comment = false;
};

// Each change with the frames it goes to.
std::vector<std::pair<FieldFrame, std::u16string>> frameChanges(const Changes& changes) {
  std::vector<std::pair<FieldFrame, std::u16string>> out;
  static constexpr std::array<FieldFrame, 5> kText{{
      {{"TT2", "TIT2", "TIT2"}, "TITLE"},
      {{"TP1", "TPE1", "TPE1"}, "ARTIST"},
      {{"TAL", "TALB", "TALB"}, "ALBUM"},
      {{"TYE", "TYER", "TDRC"}, "YEAR"},
      {{"COM", "COMM", "COMM"}, "COMMENT", true},
  }};
  for (std::size_t i = 0; i < kText.size(); ++i) {
    if (changes.text[i]) {
      out.emplace_back(kText[i], *changes.text[i]);
    }
  }
  if (const auto genre = changes.genreName()) {
    out.emplace_back(FieldFrame{{"TCO", "TCON", "TCON"}, "GENRE"}, *genre);
  }
  if (const auto track = changes.track()) {
    out.emplace_back(FieldFrame{{"TRK", "TRCK", "TRCK"}, "TRACK"}, *track);
  }
  return out;
}

const char* idFor(const FieldFrame& field, int major) {
  return field.ids[static_cast<std::size_t>(std::clamp(major, 2, 4) - 2)];
}

// Big-endian UTF-16 in an unsynchronised tag: its text then needs no
// unsynchronisation, which some players undo wrongly.
std::string bodyFor(const FieldFrame& field, int major, const std::u16string& value,
                    bool unsynchronised = false) {
  const bool bigEndian = unsynchronised && major <= 3;
  return field.comment ? id3v2::commentBody(major, "eng", value, bigEndian)
                       : id3v2::textBody(major, value, bigEndian);
}

// The frame a field is read from. A 2.3 tag may hold the 2.4 date frame,
// which is read before the year.
std::size_t locate(std::string_view tag, const id3v2::Layout& layout, const FieldFrame& field) {
  const int major = layout.header.major;
  std::size_t at = id3v2::findFrame(tag, layout, idFor(field, major), field.comment);
  if (at == id3v2::npos && major == 3 && std::strcmp(field.apeKey, "YEAR") == 0) {
    at = id3v2::findFrame(tag, layout, "TDRC", false);
  }
  return at;
}

// The edited tag, frame for frame: each changed field's frame replaced,
// added or removed; every other byte kept. When each new frame has the size
// of the one it replaces, the tag is the old one with them put in, in `held`.
bool editId3v2(Edit& edit, ByteVector& held, const Changes& changes) {
  const std::string_view tag = edit.oldTag();
  const auto layout = id3v2::walk(tag);
  if (!layout) {
    return false;
  }
  const id3v2::Header& header = layout->header;
  const int major = header.major;
  // A 2.3 extended header counts the padding and may check the frames: that
  // is rewritten only where it is not unsynchronised.
  const bool extended3 = major == 3 && header.extended();
  if (extended3 && header.unsynchronised()) {
    return fail(Reason::kBadEdit);
  }
  // Frames past where TagLib stops are kept as they are; one of a changed
  // field's id there would leave two behind.
  const std::string_view rest = tag.substr(layout->framesEnd, layout->keptEnd - layout->framesEnd);
  std::vector<id3v2::Replacement> replacements;
  bool sameSizes = !extended3;
  for (const auto& [field, value] : frameChanges(changes)) {
    const std::size_t at = locate(tag, *layout, field);
    const char* id = at == id3v2::npos ? idFor(field, major) : nullptr;
    if (rest.find(idFor(field, major)) != std::string_view::npos) {
      return fail(Reason::kBadEdit);
    }
    // Nor may another title frame stay beside the one written.
    const bool title = std::strcmp(field.apeKey, "TITLE") == 0;
    for (std::size_t i = 0; title && i < layout->frames.size(); ++i) {
      const id3v2::Frame& f = layout->frames[i];
      if (i != at && !f.empty && f.id == idFor(field, major)) {
        return fail(Reason::kBadEdit);
      }
    }
    id3v2::Replacement r{at, std::nullopt};
    if (!value.empty()) {
      const std::string name = id ? std::string(id) : layout->frames[at].id;
      const std::uint8_t status = at == id3v2::npos ? 0 : layout->frames[at].status;
      r.bytes = id3v2::renderFrame(*layout, name,
                                   bodyFor(field, major, value, header.unsynchronised()), status);
    }
    if (r.bytes || at != id3v2::npos) {
      sameSizes = sameSizes && at != id3v2::npos && r.bytes &&
                  r.bytes->size() == layout->frames[at].end - layout->frames[at].begin;
      replacements.push_back(std::move(r));
    }
  }
  if (!sameSizes) {
    edit.tagBytes = id3v2::edit(tag, *layout, replacements);
    return true;
  }
  held = ByteVector(tag.data(), static_cast<unsigned int>(tag.size()));
  edit.tagChangeFrom = tag.size();
  edit.tagChangeTo = 0;
  for (const auto& r : replacements) {
    const id3v2::Frame& f = layout->frames[r.frame];
    std::memcpy(held.data() + f.begin, r.bytes->data(), r.bytes->size());
    edit.tagChangeFrom = std::min(edit.tagChangeFrom, f.begin);
    edit.tagChangeTo = std::max(edit.tagChangeTo, f.end);
  }
  edit.heldTag = std::string_view(held.data(), held.size());
  return true;
}

// A first tag for a file that has none.
std::string newId3v2(const Changes& changes, int major) {
  id3v2::Layout layout;
  layout.header.major = major;
  std::string frames;
  for (const auto& [field, value] : frameChanges(changes)) {
    if (!value.empty()) {
      frames += id3v2::renderFrame(layout, idFor(field, major), bodyFor(field, major, value), 0);
    }
  }
  return frames.empty() ? std::string() : id3v2::newTag(major, frames);
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

// A tag in another version than the file's, which only a new rendering of
// every frame can give.
std::string convertId3v2(ID3v2::Tag& tag, std::string_view old, const Changes& changes, int major) {
  // TagLib renders every frame without its flags: an encrypted frame would
  // become a plain one holding cipher bytes. And only the first frame of a
  // field is changed: a second would stay beside it.
  const auto walked = id3v2::walk(old);
  if (!walked) {
    return {};
  }
  const int from = walked->header.major;
  for (const auto& frame : walked->frames) {
    if ((from == 3 && (frame.format & 0x40) != 0) || (from == 4 && (frame.format & 0x04) != 0)) {
      return {};
    }
  }
  for (const auto& [field, value] : frameChanges(changes)) {
    if (!field.comment && tag.frameList(ByteVector(field.ids[2])).size() > 1) {
      return {};
    }
  }
  const String::Type encoding = major == 4 ? String::UTF8 : String::UTF16;
  for (const auto& [field, value] : frameChanges(changes)) {
    if (!field.comment) {
      setTextFrame(tag, field.ids[2], value, encoding);
      continue;
    }
    auto* frame = plainComment(tag);
    if (value.empty() && frame) {
      tag.removeFrame(frame);
    } else if (!value.empty()) {
      if (!frame) {
        frame = new ID3v2::CommentsFrame(encoding);
        frame->setLanguage("eng");
        tag.addFrame(frame);
      }
      frame->setTextEncoding(encoding);
      frame->setText(toTagString(value));
    }
  }
  const ByteVector rendered = tag.render(major == 4 ? ID3v2::v4 : ID3v2::v3);
  const auto layout = id3v2::walk(std::string_view(rendered.data(), rendered.size()));
  if (!layout) {
    return {};
  }
  return id3v2::newTag(major, std::string(rendered.data() + layout->framesBegin,
                                          layout->framesEnd - layout->framesBegin));
}

std::optional<std::string> editApe(const std::string& tag, const Changes& changes) {
  std::optional<std::string> out = tag;
  for (const auto& [field, value] : frameChanges(changes)) {
    if (out) {
      out = ape::setItem(*out, field.apeKey,
                         value.empty() ? std::nullopt : std::optional(tagkana::toUtf8(value)));
    }
  }
  return out;
}

// ID3v1 gets only the changed fields, in code page 932.
void editId3v1(std::span<char, id3v1::kSize> block, const Changes& changes) {
  const std::string_view view(block.data(), block.size());
  if (changes.trackNumber) {
    const std::int32_t track = *changes.trackNumber;
    if (track > 0 && track <= 255) {
      block[id3v1::kTrackMarker] = 0;
      block[id3v1::kTrack] = static_cast<char>(track);
    } else if (track == 0 && block[id3v1::kTrackMarker] == 0) {
      block[id3v1::kTrack] = 0;
    }
  }
  for (std::size_t i = 0; i < id3v1::kText.size(); ++i) {
    if (changes.text[i]) {
      const auto [offset, size] = id3v1::kText[i];
      tagkana::record::encodeCp932Slot(
          *changes.text[i],
          block.subspan(offset, i == id3v1::kComment ? id3v1::commentSize(view) : size));
    }
  }
  if (changes.text[kGenreName]) {
    block[id3v1::kGenre] =
        static_cast<char>(changes.text[kGenreName]->empty()
                              ? kNoGenre
                              : TagLib::ID3v1::genreIndex(toTagString(*changes.text[kGenreName])));
  } else if (changes.genreNumber && *changes.genreNumber >= 0 && *changes.genreNumber <= 255) {
    block[id3v1::kGenre] = static_cast<char>(*changes.genreNumber);
  }
}

// The frames TagLib reads the changed fields from, which may differ.
std::vector<const ID3v2::Frame*> changedFrames(const ID3v2::Tag& tag, const Changes& changes) {
  std::vector<const ID3v2::Frame*> out;
  for (const auto& [field, value] : frameChanges(changes)) {
    (void)value;
    const ID3v2::Frame* frame = field.comment ? static_cast<const ID3v2::Frame*>(plainComment(tag))
                                              : firstTextFrame(tag, field.ids[2]);
    if (!frame && std::strcmp(field.apeKey, "YEAR") == 0) {
      frame = firstTextFrame(tag, "TYER");
    }
    out.push_back(frame);
  }
  return out;
}

// Every frame but the changed ones, as TagLib parsed it: id and size.
std::vector<std::pair<ByteVector, unsigned>> keptFrames(const ID3v2::Tag& tag,
                                                        const Changes& changes) {
  const auto changed = changedFrames(tag, changes);
  std::vector<std::pair<ByteVector, unsigned>> out;
  for (const ID3v2::Frame* frame : tag.frameList()) {
    if (std::find(changed.begin(), changed.end(), frame) == changed.end()) {
      out.emplace_back(frame->frameID(), frame->size());
    }
  }
  return out;
}

// Where every frame but the replaced ones lies, and what follows the frames.
std::optional<std::vector<std::pair<std::size_t, std::size_t>>> keptSpans(std::string_view tag,
                                                                          const Changes& changes) {
  const auto layout = id3v2::walk(tag);
  if (!layout) {
    return std::nullopt;
  }
  std::vector<std::size_t> replaced;
  for (const auto& [field, value] : frameChanges(changes)) {
    (void)value;
    replaced.push_back(locate(tag, *layout, field));
  }
  std::vector<std::pair<std::size_t, std::size_t>> out;
  for (std::size_t i = 0; i < layout->frames.size(); ++i) {
    if (std::find(replaced.begin(), replaced.end(), i) == replaced.end()) {
      out.emplace_back(layout->frames[i].begin, layout->frames[i].end);
    }
  }
  out.emplace_back(layout->framesEnd, layout->keptEnd);
  return out;
}

// Every kept frame has its raw bytes in the edited tag. Only `changed` (a
// stretch of the tag) differs: a frame in place outside it is the same.
bool keptBytes(std::string_view before, std::string_view after, const Changes& changes,
               std::pair<std::size_t, std::size_t> changed) {
  const auto a = keptSpans(before, changes);
  const auto b = keptSpans(after, changes);
  if (!a || !b || a->size() != b->size()) {
    return false;
  }
  for (std::size_t i = 0; i < a->size(); ++i) {
    const auto [from, to] = (*a)[i];
    const auto [newFrom, newTo] = (*b)[i];
    if (to - from != newTo - newFrom) {
      return false;
    }
    const bool untouched = from == newFrom && (to <= changed.first || from >= changed.second);
    if (!untouched && before.substr(from, to - from) != after.substr(newFrom, newTo - newFrom)) {
      return false;
    }
  }
  return true;
}

std::vector<std::pair<String, ByteVector>> keptItems(const TagLib::APE::Tag& tag,
                                                     const Changes& changes) {
  const auto changed = frameChanges(changes);
  std::vector<std::pair<String, ByteVector>> out;
  for (const auto& entry : tag.itemListMap()) {
    const String& key = entry.first;
    if (std::none_of(changed.begin(), changed.end(),
                     [&](const auto& c) { return key == String(c.first.apeKey); })) {
      out.emplace_back(key, entry.second.render());
    }
  }
  return out;
}

// The stretch of the tag whose bytes differ: all of it unless the edit keeps
// the file's shape.
std::pair<std::size_t, std::size_t> changedStretch(const Edit& edit,
                                                   const std::vector<Range>& ranges) {
  if (!edit.keepsShape()) {
    return {0, edit.tag().size()};
  }
  for (const Range& r : ranges) {
    if (r.at >= edit.tagAt && r.at < edit.tagAt + edit.oldTagSize) {
      const auto from = static_cast<std::size_t>(r.at - edit.tagAt);
      return {from, from + r.before.size()};
    }
  }
  return {0, 0};
}

// TagLib, the judge: the edited file must read as asked, and every frame and
// item that was not to change must read exactly as before. It reads the file
// as it will be: what precedes the tags, the new tags, and samples of the
// audio between them.
bool judged(MPEG::File& before, const LockedFile& locked, const Edit& edit,
            const ByteVector& heldTag, const std::vector<Range>& ranges,
            const unsigned char* record, const Changes& changes, bool converted) {
  const off_t audioBegin = edit.tagAt + edit.oldTagSize;
  const off_t audio = edit.backAt - audioBegin;
  const off_t head = std::min(audio, kAudioSample);
  const off_t tail = std::min(audio - head, kAudioSample);
  // TagLib reads the new tag as the file's reads were given it.
  const std::optional<std::string> view = id3v2::forTagLib(edit.tag());
  const std::string_view tag = view ? std::string_view(*view) : edit.tag();
  PiecesStream stream(locked.fd(), locked.path(),
                      {{static_cast<long>(edit.tagAt), nullptr, 0},
                       {static_cast<long>(tag.size()), tag.data(), 0,
                        edit.heldTag.empty() || view ? nullptr : &heldTag},
                       {static_cast<long>(head), nullptr, audioBegin},
                       {static_cast<long>(tail), nullptr, edit.backAt - tail},
                       {static_cast<long>(edit.back.size()), edit.back.data(), 0}});
  MPEG::File after(&stream, ID3v2::FrameFactory::instance(), false);
  if (!after.isValid() || after.firstFrameOffset() < 0 || !mpeg::isMpegFile(after) ||
      stream.failed()) {
    return false;
  }
  Record read{};
  storeFields(readFields(after), read.data());
  for (std::size_t i = 0; i < kTextFieldCount; ++i) {
    const auto field = static_cast<TextField>(i);
    if (!(field == kGenreName && changes.genreNumber) &&
        slotText(read.data(), field) != slotText(record, field)) {
      return false;
    }
  }
  if (trackNumberOf(read.data()) !=
      (changes.trackNumber ? *changes.trackNumber : std::max(0, trackNumberOf(record)))) {
    return false;
  }
  if (!converted && before.hasID3v2Tag() &&
      keptFrames(*before.ID3v2Tag(), changes) != keptFrames(*after.ID3v2Tag(true), changes)) {
    return false;
  }
  // And byte for byte, as our own walk of both tags finds the frames.
  if (!converted && !edit.oldTag().empty() &&
      !keptBytes(edit.oldTag(), edit.tag(), changes, changedStretch(edit, ranges))) {
    return false;
  }
  if (before.hasAPETag() != after.hasAPETag() ||
      (before.hasAPETag() &&
       keptItems(*before.APETag(), changes) != keptItems(*after.APETag(), changes))) {
    return false;
  }
  return !stream.failed();
}

std::optional<std::string> readAt(int fd, off_t offset, off_t size) {
  std::string out(static_cast<std::size_t>(size), '\0');
  if (!preadExact(fd, out.data(), out.size(), offset)) {
    return std::nullopt;
  }
  return out;
}

// Where the tags lie and what replaces them.
std::optional<Edit> plan(const LockedFile& locked, MPEG::File& file, const FdStream& stream,
                         const TagFields& current, const Changes& changes, std::int32_t version,
                         bool keepV1, bool& converted, ByteVector& heldTag) {
  const int fd = locked.fd();
  const off_t length = locked.info().st_size;
  Edit edit;
  // TagLib reads no frame of an empty tag, but it is the file's tag.
  std::optional<long> offset = stream.id3v2Offset();
  char start[3] = {};
  if (!offset && preadExact(fd, start, sizeof start, 0) && std::memcmp(start, "ID3", 3) == 0) {
    offset = 0;
  }
  if (offset) {
    char head[id3v2::kHeaderSize];
    const auto header = preadExact(fd, head, sizeof head, *offset)
                            ? id3v2::parseHeader(std::string_view(head, sizeof head))
                            : std::nullopt;
    if (!header || *offset > kLargestPrefix ||
        *offset + static_cast<off_t>(header->completeSize()) > length) {
      return std::nullopt;
    }
    edit.tagAt = *offset;
    edit.oldTagSize = static_cast<off_t>(header->completeSize());
    // The tag TagLib read is the one on disk: the file is locked.
    const ByteVector& read = stream.id3v2Tag();
    if (stream.id3v2Offset() && read.size() == edit.oldTagSize) {
      edit.heldOldTag = std::string_view(read.data(), read.size());
    } else {
      auto bytes = readAt(fd, edit.tagAt, edit.oldTagSize);
      if (!bytes) {
        return std::nullopt;
      }
      edit.oldTagBytes = std::move(*bytes);
    }
    converted = version != 0 && version != header->major;
    if (converted) {
      edit.tagBytes = convertId3v2(*file.ID3v2Tag(true), edit.oldTag(), changes, version);
      if (edit.tagBytes.empty()) {
        return std::nullopt;
      }
    } else if (!editId3v2(edit, heldTag, changes)) {
      return std::nullopt;
    }
  } else {
    // Players that find an ID3v2 tag look nowhere else: it carries what the
    // file's other tags said, besides the change.
    Changes whole = changes;
    for (std::size_t i = 0; i < kTextFieldCount; ++i) {
      if (!whole.text[i] && !current.text[i].empty()) {
        whole.text[i] = current.text[i];
      }
    }
    if (!whole.trackNumber && current.trackNumber > 0) {
      whole.trackNumber = current.trackNumber;
    }
    edit.tagBytes = newId3v2(whole, version == 4 ? 4 : 3);
  }

  // The tags at the end: APE, then ID3v1.
  const off_t v1Size = file.hasID3v1Tag() ? static_cast<off_t>(id3v1::kSize) : 0;
  std::string apeArea;
  if (file.hasAPETag()) {
    const off_t end = length - v1Size;
    const auto footer = end >= static_cast<off_t>(ape::kFooterSize)
                            ? readAt(fd, end - static_cast<off_t>(ape::kFooterSize),
                                     static_cast<off_t>(ape::kFooterSize))
                            : std::nullopt;
    const auto size = static_cast<off_t>(footer ? ape::declaredSize(*footer) : 0);
    auto area = size != 0 && size <= end && size <= static_cast<off_t>(ape::kMaxTagSize)
                    ? readAt(fd, end - size, size)
                    : std::nullopt;
    if (!area) {
      return std::nullopt;
    }
    apeArea = std::move(*area);
  }
  edit.backAt = length - v1Size - static_cast<off_t>(apeArea.size());
  if (edit.backAt < edit.tagAt + edit.oldTagSize) {
    return std::nullopt;
  }
  auto oldBack = readAt(fd, edit.backAt, length - edit.backAt);
  if (!oldBack) {
    return std::nullopt;
  }
  edit.oldBack = std::move(*oldBack);
  edit.back = edit.oldBack;
  if (!apeArea.empty()) {
    auto ape = editApe(apeArea, changes);
    if (!ape) {
      return std::nullopt;
    }
    edit.back = *ape + edit.oldBack.substr(apeArea.size());
  }
  if (keepV1 && v1Size != 0) {
    editId3v1(std::span<char, id3v1::kSize>(edit.back.data() + edit.back.size() - id3v1::kSize,
                                            id3v1::kSize),
              changes);
  }
  return edit;
}

// A 2.4 tag's extended header may carry a CRC-32 of everything after it up
// to the footer (frames and padding), in five bytes of seven bits; readers
// that check it reject a tag whose CRC is stale. The edited tag gets the new
// CRC; false for an extended header that does not hold together.
bool keepCrc(std::string_view tag, char* writable, std::size_t& changedFrom) {
  const auto header = id3v2::parseHeader(tag);
  if (!header || header->major != 4 || !header->extended()) {
    return true;
  }
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(tag[at]); };
  constexpr std::size_t x = id3v2::kHeaderSize;
  if (tag.size() < x + 6) {
    return false;
  }
  const std::size_t size =
      (std::size_t{byte(x)} << 21) | (byte(x + 1) << 14) | (byte(x + 2) << 7) | byte(x + 3);
  const std::size_t framesAt = x + size;
  const std::size_t end = x + header->bodySize;
  if (size < 6 || byte(x + 4) != 1 || framesAt > end || end > tag.size()) {
    return false;
  }
  const unsigned flags = byte(x + 5);
  std::size_t at = x + 6;
  if ((flags & 0x40) != 0) {  // "tag is an update": no data
    if (at >= framesAt || byte(at) != 0) {
      return false;
    }
    ++at;
  }
  if ((flags & 0x20) == 0) {
    return true;
  }
  if (at + 6 > framesAt || byte(at) != 5) {
    return false;
  }
  ++at;
  const uLong crc = crc32_z(crc32_z(0, nullptr, 0),
                            reinterpret_cast<const Bytef*>(tag.data() + framesAt), end - framesAt);
  for (int i = 0; i < 5; ++i) {
    writable[at + static_cast<std::size_t>(i)] = static_cast<char>((crc >> (7 * (4 - i))) & 0x7F);
  }
  changedFrom = std::min(changedFrom, at);
  return true;
}

}  // namespace

bool writeTag(const char* path, const unsigned char* record, std::int32_t version, bool keepV1) {
  if (version != 0 && version != 3 && version != 4) {
    return fail(Reason::kInvalid);
  }
  auto locked = LockedFile::open(path, true);
  if (!locked) {
    return false;
  }
  // A file whose owner may not write it is read-only, even to root.
  if ((locked->info().st_mode & S_IWUSR) == 0) {
    return fail(Reason::kReadOnly);
  }
  FdStream stream(locked->fd(), locked->path(), locked->info().st_size);
  MPEG::File file(&stream, ID3v2::FrameFactory::instance(), false);
  if (stream.refused()) {
    return fail(Reason::kTooBig);
  }
  if (stream.failed()) {
    return false;
  }
  if (!file.isValid() || !mpeg::isMpegFile(file)) {
    return stream.failed() ? false : fail(Reason::kNotMpeg);
  }
  const TagFields current = readFields(file);
  if (stream.failed()) {
    return false;
  }
  const Changes changes = changesOf(current, record);
  if (!changes.any()) {
    return true;
  }
  if (changes.text[kTitle]) {
    // The title read is all the record showed of it: a title it could not
    // carry whole would lose characters or its end.
    const std::u16string& title = current.text[kTitle];
    const std::string encoded = tagkana::record::encodeCp932(title);
    if (tagkana::record::decodeCp932(encoded) != title) {
      return fail(Reason::kUnencodable);
    }
    if (encoded.size() > VBMP3_TITLE_LENGTH) {
      return fail(Reason::kTitleDoesNotFit);
    }
  }
  bool converted = false;
  ByteVector heldTag;
  clearError();
  auto edit = plan(*locked, file, stream, current, changes, version, keepV1, converted, heldTag);
  if (!edit || stream.failed()) {
    // A read that failed says why; otherwise the tags are beyond our bounds.
    return errorSet() ? false : fail(Reason::kTooBig);
  }
  char* const writable = !edit->tagBytes.empty() ? edit->tagBytes.data()
                         : edit->heldTag.empty() ? nullptr
                                                 : heldTag.data();
  if (writable != nullptr && !keepCrc(edit->tag(), writable, edit->tagChangeFrom)) {
    return fail(Reason::kTooBig);
  }
  const std::vector<Range> ranges =
      edit->keepsShape() ? changedRanges(*edit) : std::vector<Range>();
  if (!judged(file, *locked, *edit, heldTag, ranges, record, changes, converted)) {
    return fail(Reason::kBadEdit);
  }
  // Once committed the file is synced (or its run will be): a failed close
  // changes nothing of it.
  return commit(*locked, *edit, ranges);
}

}  // namespace vbmp3
