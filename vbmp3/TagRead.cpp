#include <taglib/id3v2framefactory.h>
#include <taglib/mpegfile.h>

#include <array>
#include <cstring>

#include "FdStream.h"
#include "PosixFile.h"
#include "TagFields.h"
#include "TagFile.h"

namespace vbmp3 {

bool readTag(const char* path, unsigned char* record) {
  struct stat info {};
  const UniqueFd fd = openRegularForRead(path, info);
  if (!fd) {
    return false;
  }
  FdStream stream(fd.get(), path, info.st_size);
  BoundedFrameFactory factory;
  TagLib::MPEG::File file(&stream, &factory, false);
  // TagLib calls any file valid; audio is what makes it an MP3.
  if (factory.refused() || !file.isValid() || file.firstFrameOffset() < 0) {
    return false;
  }
  const TagFields fields = readFields(file);
  if (stream.failed()) {
    return false;
  }
  std::array<unsigned char, 656> filled{};
  storeFields(fields, filled.data());
  std::memcpy(record, filled.data(), filled.size());
  return true;
}

}  // namespace vbmp3
