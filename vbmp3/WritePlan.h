#pragma once

#include <taglib/mpegfile.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FileLayer.h"
#include "Id3v2.h"
#include "TagFields.h"
#include "vbmp3.h"

namespace vbmp3 {

using Record = std::array<unsigned char, VBMP3_RECORD_SIZE>;

// What the record asks to change.
struct Changes {
  std::array<std::optional<std::u16string>, kTextFieldCount> text;
  std::optional<std::int32_t> genreNumber;
  std::optional<std::int32_t> trackNumber;

  bool any() const;
  // The genre name to write, when the name or the number changed.
  std::optional<std::u16string> genreName() const;
  std::optional<std::u16string> track() const;
};

// One field as the tags carry it: the ID3v2 frame ids by version (2.2,
// 2.3, 2.4) and the APE key.
struct FieldFrame {
  std::array<const char*, 3> ids;
  const char* apeKey;
  bool comment = false;

  const char* idFor(int major) const;
  bool is(const char* key) const;
};

// A changed field and its new value (empty: the field goes).
struct FieldChange {
  FieldFrame field;
  std::u16string value;
};

// Each change with the frames it goes to.
std::vector<FieldChange> fieldChanges(const Changes& changes);

// The frame a field is read from in a walked tag. A 2.3 tag may hold the
// 2.4 date frame, which is read before the year.
std::size_t locate(std::string_view tag, const id3v2::Layout& layout, const FieldFrame& field);

// Everything one write does, found once and handed on to the judge and the
// commit: the changes, where they go in the old tag, and the edit.
struct WritePlan {
  Changes changes;
  std::vector<FieldChange> fields;
  // The old ID3v2 tag as walked and, for each field, the index of its frame
  // there (npos: added); none when the tag is new or rendered anew.
  std::optional<id3v2::Layout> oldLayout;
  std::vector<std::size_t> located;
  // The tag is rendered anew in another version: its frames are TagLib's.
  bool converted = false;
  // The old tag's bytes, shared with the stream TagLib read them from; the
  // edit's old tag views them.
  TagLib::ByteVector oldTag;
  Edit edit;
};

// TagLib, the judge: the edited file must read as the record asks, and every
// frame and item that was not to change must read exactly as before.
bool judged(const WritePlan& plan, const CommitPlan& how, TagLib::MPEG::File& before,
            const LockedFile& file, const unsigned char* record);

}  // namespace vbmp3
