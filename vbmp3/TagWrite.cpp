#include <taglib/commentsframe.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Ape.h"
#include "FdStream.h"
#include "FileLayer.h"
#include "Id3v1.h"
#include "Id3v2.h"
#include "Mpeg.h"
#include "TagFields.h"
#include "TagFile.h"
#include "WritePlan.h"
#include "record/Cp932.h"
#include "record/Utf8.h"
#include "vbmp3.h"

namespace vbmp3 {

using TagLib::ByteVector;
using TagLib::String;
namespace ID3v2 = TagLib::ID3v2;
namespace MPEG = TagLib::MPEG;

bool Changes::any() const {
  return std::any_of(text.begin(), text.end(), [](const auto& t) { return t.has_value(); }) ||
         genreNumber || trackNumber;
}

std::optional<std::u16string> Changes::genreName() const {
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

std::optional<std::u16string> Changes::track() const {
  if (!trackNumber) {
    return std::nullopt;
  }
  return *trackNumber > 0 ? toUtf16(String::number(*trackNumber)) : std::u16string();
}

const char* FieldFrame::idFor(int major) const {
  return ids[static_cast<std::size_t>(std::clamp(major, 2, 4) - 2)];
}

bool FieldFrame::is(const char* key) const {
  return std::strcmp(apeKey, key) == 0;
}

std::vector<FieldChange> fieldChanges(const Changes& changes) {
  std::vector<FieldChange> out;
  static constexpr std::array<FieldFrame, 5> kText{{
      {{"TT2", "TIT2", "TIT2"}, "TITLE"},
      {{"TP1", "TPE1", "TPE1"}, "ARTIST"},
      {{"TAL", "TALB", "TALB"}, "ALBUM"},
      {{"TYE", "TYER", "TDRC"}, "YEAR"},
      {{"COM", "COMM", "COMM"}, "COMMENT", true},
  }};
  for (std::size_t i = 0; i < kText.size(); ++i) {
    if (changes.text[i]) {
      out.push_back({kText[i], *changes.text[i]});
    }
  }
  if (const auto genre = changes.genreName()) {
    out.push_back({FieldFrame{{"TCO", "TCON", "TCON"}, "GENRE"}, *genre});
  }
  if (const auto track = changes.track()) {
    out.push_back({FieldFrame{{"TRK", "TRCK", "TRCK"}, "TRACK"}, *track});
  }
  return out;
}

std::size_t locate(std::string_view tag, const id3v2::Layout& layout, const FieldFrame& field) {
  const int major = layout.header.major;
  std::size_t at = id3v2::findFrame(tag, layout, field.idFor(major), field.comment);
  if (at == id3v2::npos && major == 3 && field.is("YEAR")) {
    at = id3v2::findFrame(tag, layout, "TDRC", false);
  }
  return at;
}

namespace {

// Bytes before an ID3v2 tag that does not start the file.
constexpr off_t kLargestPrefix = 1 << 20;

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

// Big-endian UTF-16 in an unsynchronised tag: its text then needs no
// unsynchronisation, which some players undo wrongly.
std::string bodyFor(const FieldFrame& field, int major, const std::u16string& value,
                    bool unsynchronised = false) {
  const bool bigEndian = unsynchronised && major <= 3;
  return field.comment ? id3v2::commentBody(major, "eng", value, bigEndian)
                       : id3v2::textBody(major, value, bigEndian);
}

// How the ID3v2 tag changes: its new bytes and, when it is edited where it
// stands, the old tag's walk and each field's frame in it.
struct Id3v2Edit {
  std::optional<id3v2::Layout> layout;
  std::vector<std::size_t> located;
  std::string tag;
  // Where the new tag may differ, when it keeps the old one's size.
  std::size_t changeFrom = 0;
  std::size_t changeTo = static_cast<std::size_t>(-1);
  bool converted = false;
};

// Each field's frame in the walked tag, or none when writing it would leave
// a second frame of its id that a reader may take instead: one past where
// TagLib stops, or (for the title) another one beside it.
std::optional<std::vector<std::size_t>> locateAll(std::string_view tag, const id3v2::Layout& layout,
                                                  const std::vector<FieldChange>& fields) {
  const int major = layout.header.major;
  const std::string_view rest = tag.substr(layout.framesEnd, layout.keptEnd - layout.framesEnd);
  std::vector<std::size_t> located;
  for (const FieldChange& change : fields) {
    const std::size_t at = locate(tag, layout, change.field);
    const char* id = change.field.idFor(major);
    if (rest.find(id) != std::string_view::npos) {
      return std::nullopt;
    }
    for (std::size_t i = 0; change.field.is("TITLE") && i < layout.frames.size(); ++i) {
      const id3v2::Frame& f = layout.frames[i];
      if (i != at && !f.empty && f.id == id) {
        return std::nullopt;
      }
    }
    located.push_back(at);
  }
  return located;
}

// The frame that replaces, is added or removes each located one.
std::vector<id3v2::Replacement> replacementsFor(const id3v2::Layout& layout,
                                                const std::vector<std::size_t>& located,
                                                const std::vector<FieldChange>& fields) {
  const id3v2::Header& header = layout.header;
  std::vector<id3v2::Replacement> out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::size_t at = located[i];
    id3v2::Replacement r{at, std::nullopt};
    if (!fields[i].value.empty()) {
      const bool added = at == id3v2::npos;
      const std::string name = added ? fields[i].field.idFor(header.major) : layout.frames[at].id;
      r.bytes = id3v2::renderFrame(
          layout, name,
          bodyFor(fields[i].field, header.major, fields[i].value, header.unsynchronised()),
          added ? 0 : layout.frames[at].status);
    }
    if (r.bytes || at != id3v2::npos) {
      out.push_back(std::move(r));
    }
  }
  return out;
}

// Whether each replacement puts a frame of the same size in place of one.
// A 2.3 extended header counts the padding and may check the frames: it
// keeps nothing in place.
bool sameSizes(const id3v2::Layout& layout, const std::vector<id3v2::Replacement>& replacements) {
  if (layout.header.major == 3 && layout.header.extended()) {
    return false;
  }
  return std::all_of(replacements.begin(), replacements.end(), [&](const auto& r) {
    return r.frame != id3v2::npos && r.bytes &&
           r.bytes->size() == layout.frames[r.frame].end - layout.frames[r.frame].begin;
  });
}

// The edited tag, frame for frame: each changed field's frame replaced,
// added or removed; every other byte kept. When each new frame has the size
// of the one it replaces, the tag is the old one with them put in.
std::optional<Id3v2Edit> editedId3v2(std::string_view tag, const std::vector<FieldChange>& fields) {
  Id3v2Edit out;
  out.layout = id3v2::walk(tag);
  if (!out.layout) {
    return std::nullopt;
  }
  const id3v2::Layout& layout = *out.layout;
  // A 2.3 extended header is rewritten only where it is not unsynchronised.
  if (layout.header.major == 3 && layout.header.extended() && layout.header.unsynchronised()) {
    fail(Reason::kBadEdit);
    return std::nullopt;
  }
  auto located = locateAll(tag, layout, fields);
  if (!located) {
    fail(Reason::kBadEdit);
    return std::nullopt;
  }
  out.located = std::move(*located);
  const auto replacements = replacementsFor(layout, out.located, fields);
  if (!sameSizes(layout, replacements)) {
    out.tag = id3v2::edit(tag, layout, replacements);
    return out;
  }
  out.tag = std::string(tag);
  out.changeFrom = tag.size();
  out.changeTo = 0;
  for (const auto& r : replacements) {
    const id3v2::Frame& f = layout.frames[r.frame];
    std::memcpy(out.tag.data() + f.begin, r.bytes->data(), r.bytes->size());
    out.changeFrom = std::min(out.changeFrom, f.begin);
    out.changeTo = std::max(out.changeTo, f.end);
  }
  return out;
}

// A first tag for a file that has none.
std::string newId3v2(const std::vector<FieldChange>& fields, int major) {
  id3v2::Layout layout;
  layout.header.major = major;
  std::string frames;
  for (const FieldChange& change : fields) {
    if (!change.value.empty()) {
      frames += id3v2::renderFrame(layout, change.field.idFor(major),
                                   bodyFor(change.field, major, change.value), 0);
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

// TagLib renders every frame without its flags: an encrypted frame would
// become a plain one holding cipher bytes. And only the first frame of a
// field is changed: a second would stay beside it.
bool convertible(std::string_view oldTag, const ID3v2::Tag& tag,
                 const std::vector<FieldChange>& fields) {
  const auto walked = id3v2::walk(oldTag);
  if (!walked) {
    return false;
  }
  const int from = walked->header.major;
  for (const auto& frame : walked->frames) {
    if ((from == 3 && (frame.format & 0x40) != 0) || (from == 4 && (frame.format & 0x04) != 0)) {
      return false;
    }
  }
  for (const FieldChange& change : fields) {
    if (!change.field.comment &&
        tag.frameList(TagLib::ByteVector(change.field.ids[2])).size() > 1) {
      return false;
    }
  }
  return true;
}

// A tag in another version than the file's, which only a new rendering of
// every frame can give.
std::string convertId3v2(ID3v2::Tag& tag, const std::vector<FieldChange>& fields, int major) {
  const String::Type encoding = major == 4 ? String::UTF8 : String::UTF16;
  for (const FieldChange& change : fields) {
    if (change.field.comment) {
      setComment(tag, change.value, encoding);
    } else {
      setTextFrame(tag, change.field.ids[2], change.value, encoding);
    }
  }
  const TagLib::ByteVector rendered = tag.render(major == 4 ? ID3v2::v4 : ID3v2::v3);
  const auto layout = id3v2::walk(std::string_view(rendered.data(), rendered.size()));
  if (!layout) {
    return {};
  }
  return id3v2::newTag(major, std::string(rendered.data() + layout->framesBegin,
                                          layout->framesEnd - layout->framesBegin));
}

std::optional<std::string> editApe(const std::string& tag, const std::vector<FieldChange>& fields) {
  std::optional<std::string> out = tag;
  for (const FieldChange& change : fields) {
    if (out) {
      out = ape::setItem(
          *out, change.field.apeKey,
          change.value.empty() ? std::nullopt : std::optional(tagkana::toUtf8(change.value)));
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

std::optional<std::string> readAt(FdStream& stream, off_t offset, off_t size) {
  std::string out(static_cast<std::size_t>(size), '\0');
  if (!stream.readAt(offset, out.data(), out.size())) {
    return std::nullopt;
  }
  return out;
}

// The file's ID3v2 tag as it stands: where it is and its bytes, empty when
// the file has none (TagLib reads no frame of an empty tag, but it is the
// file's tag). None when it lies beyond our bounds or cannot be read.
struct OldTag {
  off_t at = 0;
  TagLib::ByteVector bytes;  // read through const: data() would copy a shared one

  std::string_view view() const { return {bytes.data(), bytes.size()}; }
};
std::optional<OldTag> oldId3v2(const LockedFile& locked, FdStream& stream) {
  std::optional<long> offset = stream.id3v2Offset();
  char start[3] = {};
  if (!offset && stream.readAt(0, start, sizeof start) && std::memcmp(start, "ID3", 3) == 0) {
    offset = 0;
  }
  if (!offset) {
    return OldTag{};
  }
  char head[id3v2::kHeaderSize];
  const auto header = stream.readAt(*offset, head, sizeof head)
                          ? id3v2::parseHeader(std::string_view(head, sizeof head))
                          : std::nullopt;
  const auto size = header ? static_cast<off_t>(header->completeSize()) : 0;
  if (!header || *offset > kLargestPrefix || *offset + size > locked.info().st_size) {
    return std::nullopt;
  }
  // The tag TagLib read is the one on disk: the file is locked.
  const TagLib::ByteVector& read = stream.id3v2Tag();
  if (stream.id3v2Offset() && read.size() == size) {
    return OldTag{*offset, read};  // shared, not copied
  }
  TagLib::ByteVector bytes(static_cast<unsigned int>(size), '\0');
  return stream.readAt(*offset, bytes.data(), bytes.size())
             ? std::optional(OldTag{*offset, std::move(bytes)})
             : std::nullopt;
}

// Players that find an ID3v2 tag look nowhere else: a new one carries what
// the file's other tags said, besides the change.
std::vector<FieldChange> wholeFields(const Changes& changes, const TagFields& current) {
  Changes whole = changes;
  for (std::size_t i = 0; i < kTextFieldCount; ++i) {
    if (!whole.text[i] && !current.text[i].empty()) {
      whole.text[i] = current.text[i];
    }
  }
  if (!whole.trackNumber && current.trackNumber > 0) {
    whole.trackNumber = current.trackNumber;
  }
  return fieldChanges(whole);
}

// The new ID3v2 tag: the old one edited where it stands, rendered anew in
// the version asked for, or a first one.
std::optional<Id3v2Edit> planId3v2(std::string_view oldTag, MPEG::File& file, const WritePlan& plan,
                                   const TagFields& current, std::int32_t version) {
  if (oldTag.empty()) {
    Id3v2Edit out;
    out.tag = newId3v2(wholeFields(plan.changes, current), version == 4 ? 4 : 3);
    return out;
  }
  const int major = static_cast<unsigned char>(oldTag[3]);
  if (version == 0 || version == major) {
    return editedId3v2(oldTag, plan.fields);
  }
  if (!convertible(oldTag, *file.ID3v2Tag(true), plan.fields)) {
    fail(Reason::kBadEdit);
    return std::nullopt;
  }
  Id3v2Edit out;
  out.converted = true;
  out.tag = convertId3v2(*file.ID3v2Tag(true), plan.fields, version);
  return out.tag.empty() ? std::nullopt : std::optional(std::move(out));
}

// The APE tag before an ID3v1 tag ending at `end`, whole.
std::optional<std::string> apeArea(FdStream& stream, off_t end) {
  constexpr auto kFooter = static_cast<off_t>(ape::kFooterSize);
  const auto footer = end >= kFooter ? readAt(stream, end - kFooter, kFooter) : std::nullopt;
  const auto size = static_cast<off_t>(footer ? ape::declaredSize(*footer) : 0);
  if (size == 0 || size > end || size > static_cast<off_t>(ape::kMaxTagSize)) {
    return std::nullopt;
  }
  return readAt(stream, end - size, size);
}

// The tags at the end, APE then ID3v1, as they are and as they become.
struct Back {
  off_t at = 0;
  std::string old;
  std::string edited;
};
std::optional<Back> planBack(const LockedFile& locked, MPEG::File& file, FdStream& stream,
                             const WritePlan& plan, bool keepV1) {
  const off_t length = locked.info().st_size;
  const off_t v1Size = file.hasID3v1Tag() ? static_cast<off_t>(id3v1::kSize) : 0;
  std::string ape;
  if (file.hasAPETag()) {
    auto area = apeArea(stream, length - v1Size);
    if (!area) {
      return std::nullopt;
    }
    ape = std::move(*area);
  }
  Back back;
  back.at = length - v1Size - static_cast<off_t>(ape.size());
  auto old = readAt(stream, back.at, length - back.at);
  if (!old) {
    return std::nullopt;
  }
  back.old = std::move(*old);
  back.edited = back.old;
  if (!ape.empty()) {
    auto edited = editApe(ape, plan.fields);
    if (!edited) {
      return std::nullopt;
    }
    back.edited = *edited + back.old.substr(ape.size());
  }
  if (keepV1 && v1Size != 0) {
    editId3v1(std::span<char, id3v1::kSize>(back.edited.data() + back.edited.size() - id3v1::kSize,
                                            id3v1::kSize),
              plan.changes);
  }
  return back;
}

// A 2.4 tag's extended header may carry a CRC-32 of everything after it up
// to the footer (frames and padding), in five bytes of seven bits; readers
// that check it reject a tag whose CRC is stale. The tag gets the new CRC.
// Where it lies, npos when the tag carries none; none for an extended
// header that does not hold together.
std::optional<std::size_t> keepCrc(std::string& tag) {
  const auto header = id3v2::parseHeader(tag);
  if (!header || header->major != 4 || !header->extended()) {
    return id3v2::npos;
  }
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(tag[at]); };
  constexpr std::size_t x = id3v2::kHeaderSize;
  if (tag.size() < x + 6) {
    return std::nullopt;
  }
  const std::size_t size =
      (std::size_t{byte(x)} << 21) | (byte(x + 1) << 14) | (byte(x + 2) << 7) | byte(x + 3);
  const std::size_t framesAt = x + size;
  const std::size_t end = x + header->bodySize;
  if (size < 6 || byte(x + 4) != 1 || framesAt > end || end > tag.size()) {
    return std::nullopt;
  }
  const unsigned flags = byte(x + 5);
  std::size_t at = x + 6;
  if ((flags & 0x40) != 0) {  // "tag is an update": no data
    if (at >= framesAt || byte(at) != 0) {
      return std::nullopt;
    }
    ++at;
  }
  if ((flags & 0x20) == 0) {
    return id3v2::npos;
  }
  if (at + 6 > framesAt || byte(at) != 5) {
    return std::nullopt;
  }
  ++at;
  const uLong crc = crc32_z(crc32_z(0, nullptr, 0),
                            reinterpret_cast<const Bytef*>(tag.data() + framesAt), end - framesAt);
  for (int i = 0; i < 5; ++i) {
    tag[at + static_cast<std::size_t>(i)] = static_cast<char>((crc >> (7 * (4 - i))) & 0x7F);
  }
  return at;
}

// The whole of a write, found once: the changes, the new ID3v2 tag (with
// its CRC kept), the tags at the end. None with the reason set, or with no
// reason when the tags lie beyond our bounds.
std::optional<WritePlan> planWrite(const LockedFile& locked, MPEG::File& file, FdStream& stream,
                                   const TagFields& current, Changes changes, std::int32_t version,
                                   bool keepV1) {
  WritePlan plan;
  plan.changes = std::move(changes);
  plan.fields = fieldChanges(plan.changes);
  auto old = oldId3v2(locked, stream);
  auto id3 = old ? planId3v2(old->view(), file, plan, current, version) : std::nullopt;
  auto back = id3 ? planBack(locked, file, stream, plan, keepV1) : std::nullopt;
  if (!back || back->at < old->at + static_cast<off_t>(old->view().size())) {
    return std::nullopt;
  }
  const auto crc = keepCrc(id3->tag);
  if (!crc) {
    fail(Reason::kTooBig);
    return std::nullopt;
  }
  plan.oldLayout = std::move(id3->layout);
  plan.located = std::move(id3->located);
  plan.converted = id3->converted;
  plan.edit.tagAt = old->at;
  plan.oldTag = std::move(old->bytes);
  plan.edit.oldTag = std::string_view(std::as_const(plan.oldTag).data(), plan.oldTag.size());
  plan.edit.tag = std::move(id3->tag);
  plan.edit.tagChangeFrom = std::min(id3->changeFrom, *crc);
  plan.edit.tagChangeTo = id3->changeTo;
  plan.edit.backAt = back->at;
  plan.edit.oldBack = std::move(back->old);
  plan.edit.back = std::move(back->edited);
  return plan;
}

// The title read is all the record showed of it: a title it could not
// carry whole would lose characters or its end.
bool titleCarried(const TagFields& current) {
  const std::u16string& title = current.text[kTitle];
  const std::string encoded = tagkana::record::encodeCp932(title);
  if (tagkana::record::decodeCp932(encoded) != title) {
    return fail(Reason::kUnencodable);
  }
  return encoded.size() <= VBMP3_TITLE_LENGTH || fail(Reason::kTitleDoesNotFit);
}

// The file as TagLib reads it, and its fields; none with the reason set.
struct Opened {
  std::optional<LockedFile> locked;
  std::unique_ptr<FdStream> stream;
  std::unique_ptr<MPEG::File> file;
  TagFields current;
};
std::optional<Opened> openForWrite(const char* path) {
  Opened o;
  o.locked = LockedFile::open(path, true);
  if (!o.locked) {
    return std::nullopt;
  }
  // A file whose owner may not write it is read-only, even to root.
  if ((o.locked->info().st_mode & S_IWUSR) == 0) {
    fail(Reason::kReadOnly);
    return std::nullopt;
  }
  o.stream = std::make_unique<FdStream>(o.locked->fd(), o.locked->path(), o.locked->info().st_size);
  o.file = std::make_unique<MPEG::File>(o.stream.get(), ID3v2::FrameFactory::instance(), false);
  if (o.stream->refused()) {
    fail(Reason::kTooBig);
    return std::nullopt;
  }
  if (o.stream->failed()) {
    return std::nullopt;
  }
  if (!o.file->isValid() || !mpeg::isMpegFile(*o.file)) {
    if (!o.stream->failed()) {
      fail(Reason::kNotMpeg);
    }
    return std::nullopt;
  }
  o.current = readFields(*o.file);
  return o.stream->failed() ? std::nullopt : std::optional(std::move(o));
}

}  // namespace

bool writeTag(const char* path, const unsigned char* record, std::int32_t version, bool keepV1) {
  if (version != 0 && version != 3 && version != 4) {
    return fail(Reason::kInvalid);
  }
  auto opened = openForWrite(path);
  if (!opened) {
    return false;
  }
  Changes changes = changesOf(opened->current, record);
  if (!changes.any()) {
    return true;
  }
  if (changes.text[kTitle] && !titleCarried(opened->current)) {
    return false;
  }
  clearError();
  const auto plan = planWrite(*opened->locked, *opened->file, *opened->stream, opened->current,
                              std::move(changes), version, keepV1);
  if (!plan || opened->stream->failed()) {
    // A read that failed says why; otherwise the tags are beyond our bounds.
    return errorSet() ? false : fail(Reason::kTooBig);
  }
  const CommitPlan how = commitPlan(plan->edit);
  if (!judged(*plan, how, *opened->file, *opened->locked, record)) {
    return fail(Reason::kBadEdit);
  }
  // Once committed the file is synced (or its run will be): a failed close
  // changes nothing of it.
  return commit(*opened->locked, plan->edit, how);
}

}  // namespace vbmp3
