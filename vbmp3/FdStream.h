#pragma once

#include <sys/types.h>
#include <taglib/tbytevector.h>
#include <taglib/tiostream.h>

#include <array>
#include <optional>
#include <string>

#include "Id3v2.h"

namespace vbmp3 {

// A read-only TagLib stream over an open file descriptor. TagLib never gets a
// way to write the real file: every write goes through our own code. An ID3v2
// tag reaches TagLib only once it is known to keep within the bounds of a safe
// parse; otherwise TagLib gets nothing and the stream is refused.
class FdStream : public TagLib::IOStream {
 public:
  FdStream(int fd, std::string name, off_t length);

  TagLib::FileName name() const override;
  TagLib::ByteVector readBlock(unsigned long length) override;
  void writeBlock(const TagLib::ByteVector& data) override;
  void insert(const TagLib::ByteVector& data, unsigned long start = 0,
              unsigned long replace = 0) override;
  void removeBlock(unsigned long start = 0, unsigned long length = 0) override;
  bool readOnly() const override { return true; }
  bool isOpen() const override { return m_fd >= 0; }
  void seek(long offset, Position p = Beginning) override;
  void clear() override {}
  long tell() const override { return m_position; }
  long length() override { return m_length; }
  void truncate(long length) override;

  // True once a read failed for another reason than the end of the file, so
  // that what TagLib parsed from it cannot be trusted.
  bool failed() const { return m_failed; }
  bool refused() const { return m_refused; }
  // Where the ID3v2 tag TagLib parsed begins.
  std::optional<long> id3v2Offset() const { return m_id3v2Offset; }
  // And its bytes, header and body (the footer is not read).
  const TagLib::ByteVector& id3v2Tag() const { return m_id3v2Tag; }

 private:
  int m_fd;
  std::string m_name;
  long m_length;
  long m_position = 0;
  bool m_failed = false;
  bool m_refused = false;
  // The last ID3v2 header TagLib read, and where.
  std::optional<id3v2::Header> m_header;
  long m_headerAt = -1;
  std::optional<long> m_id3v2Offset;
  TagLib::ByteVector m_id3v2Tag;
  std::array<char, id3v2::kHeaderSize> m_headerBytes{};
};

}  // namespace vbmp3
