#include <taglib/apeitem.h>
#include <taglib/apetag.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "FdStream.h"
#include "Mpeg.h"
#include "WritePlan.h"

namespace vbmp3 {
namespace {

using TagLib::ByteVector;
using TagLib::String;
namespace ID3v2 = TagLib::ID3v2;
namespace MPEG = TagLib::MPEG;

// Audio kept in the copy TagLib judges, on each side of the tags: enough for
// it to find the first frame and the tags at the end as it does in the file.
constexpr off_t kAudioSample = 8192;

// The frames TagLib reads the changed fields from, which may differ from
// the ones our walk finds.
std::vector<const ID3v2::Frame*> changedFrames(const ID3v2::Tag& tag,
                                               const std::vector<FieldChange>& fields) {
  std::vector<const ID3v2::Frame*> out;
  for (const FieldChange& change : fields) {
    const FieldFrame& field = change.field;
    const ID3v2::Frame* frame = field.comment ? static_cast<const ID3v2::Frame*>(plainComment(tag))
                                              : firstTextFrame(tag, field.ids[2]);
    if (!frame && field.is("YEAR")) {
      frame = firstTextFrame(tag, "TYER");
    }
    out.push_back(frame);
  }
  return out;
}

// Every frame but the changed ones, as TagLib parsed it: id and size.
std::vector<std::pair<ByteVector, unsigned>> keptFrames(const ID3v2::Tag& tag,
                                                        const std::vector<FieldChange>& fields) {
  const auto changed = changedFrames(tag, fields);
  std::vector<std::pair<ByteVector, unsigned>> out;
  for (const ID3v2::Frame* frame : tag.frameList()) {
    if (std::find(changed.begin(), changed.end(), frame) == changed.end()) {
      out.emplace_back(frame->frameID(), frame->size());
    }
  }
  return out;
}

using Spans = std::vector<std::pair<std::size_t, std::size_t>>;

// Where every frame but the replaced ones lies, and what follows the frames.
Spans keptSpans(const id3v2::Layout& layout, const std::vector<std::size_t>& replaced) {
  Spans out;
  for (std::size_t i = 0; i < layout.frames.size(); ++i) {
    if (std::find(replaced.begin(), replaced.end(), i) == replaced.end()) {
      out.emplace_back(layout.frames[i].begin, layout.frames[i].end);
    }
  }
  out.emplace_back(layout.framesEnd, layout.keptEnd);
  return out;
}

// The same in the edited tag, walked afresh: its frames are found as a
// reader finds them, not where the edit meant to put them.
std::optional<Spans> keptSpansAfter(std::string_view tag, const std::vector<FieldChange>& fields) {
  const auto layout = id3v2::walk(tag);
  if (!layout) {
    return std::nullopt;
  }
  std::vector<std::size_t> replaced;
  for (const FieldChange& change : fields) {
    replaced.push_back(locate(tag, *layout, change.field));
  }
  return keptSpans(*layout, replaced);
}

// The stretch of the tag whose bytes differ: all of it unless the edit keeps
// the file's shape.
std::pair<std::size_t, std::size_t> changedStretch(const Edit& edit, const CommitPlan& how) {
  if (!edit.keepsShape()) {
    return {0, edit.tag.size()};
  }
  for (const Range& r : how.ranges) {
    if (r.at >= edit.tagAt && r.at < edit.tagAt + edit.oldTagSize()) {
      const auto from = static_cast<std::size_t>(r.at - edit.tagAt);
      return {from, from + r.before.size()};
    }
  }
  return {0, 0};
}

// Every kept frame has its raw bytes in the edited tag. Only the changed
// stretch differs: a frame in place outside it is the same.
bool keptBytes(const WritePlan& plan, const CommitPlan& how) {
  const Edit& edit = plan.edit;
  const Spans a = keptSpans(*plan.oldLayout, plan.located);
  const auto b = keptSpansAfter(edit.tag, plan.fields);
  if (!b || a.size() != b->size()) {
    return false;
  }
  const auto changed = changedStretch(edit, how);
  const std::string_view before = edit.oldTag;
  const std::string_view after = edit.tag;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto [from, to] = a[i];
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
                                                     const std::vector<FieldChange>& fields) {
  std::vector<std::pair<String, ByteVector>> out;
  for (const auto& entry : tag.itemListMap()) {
    const String& key = entry.first;
    if (std::none_of(fields.begin(), fields.end(),
                     [&](const FieldChange& c) { return key == String(c.field.apeKey); })) {
      out.emplace_back(key, entry.second.render());
    }
  }
  return out;
}

// The fields read back as the record asks.
bool readsAsAsked(MPEG::File& after, const Changes& changes, const unsigned char* record) {
  Record read{};
  storeFields(readFields(after), read.data());
  for (std::size_t i = 0; i < kTextFieldCount; ++i) {
    const auto field = static_cast<TextField>(i);
    if (!(field == kGenreName && changes.genreNumber) &&
        slotText(read.data(), field) != slotText(record, field)) {
      return false;
    }
  }
  // An unchanged track number must survive too: a conversion renders it anew.
  return trackNumberOf(read.data()) ==
         (changes.trackNumber ? *changes.trackNumber : std::max(0, trackNumberOf(record)));
}

// What was not to change, as TagLib and as our own walk of both tags see it.
bool keptTheRest(const WritePlan& plan, const CommitPlan& how, MPEG::File& before,
                 MPEG::File& after) {
  if (!plan.converted && before.hasID3v2Tag() &&
      keptFrames(*before.ID3v2Tag(), plan.fields) !=
          keptFrames(*after.ID3v2Tag(true), plan.fields)) {
    return false;
  }
  if (plan.oldLayout && !keptBytes(plan, how)) {
    return false;
  }
  return before.hasAPETag() == after.hasAPETag() &&
         (!before.hasAPETag() ||
          keptItems(*before.APETag(), plan.fields) == keptItems(*after.APETag(), plan.fields));
}

}  // namespace

// TagLib reads the file as it will be: what precedes the tags, the new tags
// (as the file's reads were given it), and samples of the audio between them.
bool judged(const WritePlan& plan, const CommitPlan& how, MPEG::File& before,
            const LockedFile& file, const unsigned char* record) {
  const Edit& edit = plan.edit;
  const off_t audioBegin = edit.tagAt + edit.oldTagSize();
  const off_t audio = edit.backAt - audioBegin;
  const off_t head = std::min(audio, kAudioSample);
  const off_t tail = std::min(audio - head, kAudioSample);
  const std::optional<std::string> view = id3v2::forTagLib(edit.tag);
  const std::string_view tag = view ? std::string_view(*view) : std::string_view(edit.tag);
  // The audio read once, not a few bytes at a time as TagLib reads it.
  std::string sample(static_cast<std::size_t>(head + tail), '\0');
  if (!preadExact(file.fd(), sample.data(), static_cast<std::size_t>(head), audioBegin) ||
      !preadExact(file.fd(), sample.data() + head, static_cast<std::size_t>(tail),
                  edit.backAt - tail)) {
    return false;
  }
  PiecesStream stream(file.fd(), file.path(),
                      {{static_cast<long>(edit.tagAt), nullptr, 0},
                       {static_cast<long>(tag.size()), tag.data(), 0},
                       {static_cast<long>(head), sample.data(), 0},
                       {static_cast<long>(tail), sample.data() + head, 0},
                       {static_cast<long>(edit.back.size()), edit.back.data(), 0}});
  MPEG::File after(&stream, ID3v2::FrameFactory::instance(), false);
  // A write that leaves what a read would refuse as MPEG audio is no write.
  if (!after.isValid() || after.firstFrameOffset() < 0 || !mpeg::isMpegFile(after) ||
      stream.failed()) {
    return false;
  }
  return readsAsAsked(after, plan.changes, record) && keptTheRest(plan, how, before, after) &&
         !stream.failed();
}

}  // namespace vbmp3
