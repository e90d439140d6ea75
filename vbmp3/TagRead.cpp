#include <taglib/id3v2framefactory.h>
#include <taglib/mpegfile.h>

#include <array>
#include <cstring>

#include "FdStream.h"
#include "FileLayer.h"
#include "Mpeg.h"
#include "TagFields.h"
#include "TagFile.h"
#include "vbmp3.h"

namespace vbmp3 {

bool readOpenTag(int fd, const std::string& name, off_t length, unsigned char* record) {
  FdStream stream(fd, name, length);
  TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
  if (stream.refused()) {
    return fail(Reason::kTooBig);
  }
  // TagLib calls any file valid; audio is what makes it an MP3.
  if (stream.failed()) {
    return false;
  }
  if (!file.isValid() || !mpeg::isMpegFile(file)) {
    return stream.failed() ? false : fail(Reason::kNotMpeg);
  }
  const TagFields fields = readFields(file);
  if (stream.failed()) {
    return false;
  }
  std::array<unsigned char, VBMP3_RECORD_SIZE> filled{};
  storeFields(fields, filled.data());
  std::memcpy(record, filled.data(), filled.size());
  return true;
}

bool readTag(const char* path, unsigned char* record) {
  const auto file = LockedFile::open(path, false);
  return file && readOpenTag(file->fd(), file->path(), file->info().st_size, record);
}

}  // namespace vbmp3
