#include "FdStream.h"

#include "PosixFile.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>

namespace vbmp3 {

FdStream::FdStream(int fd, std::string name, off_t length)
    : m_fd(fd), m_name(std::move(name)), m_length(static_cast<long>(length)) {}

TagLib::FileName FdStream::name() const {
  return m_name.c_str();
}

TagLib::ByteVector FdStream::readBlock(unsigned long length) {
  // TagLib reads a tag's header, then at once its body.
  const bool tagBody = m_header && m_position == m_headerAt + 10 && length == m_header->bodySize;
  if (tagBody && m_header->bodySize > id3v2::kMaxTagSize) {
    m_refused = true;
    return {};
  }
  // A damaged size field must not make us allocate more than the file holds.
  const long available = std::max(0L, m_length - m_position);
  const auto size = static_cast<unsigned int>(
      std::min<unsigned long>(length, static_cast<unsigned long>(available)));
  // A tag's body is read behind its header, so that the whole tag is at hand.
  const unsigned int lead = tagBody ? static_cast<unsigned int>(id3v2::kHeaderSize) : 0;
  TagLib::ByteVector block(lead + size, '\0');
  std::copy(m_headerBytes.begin(), m_headerBytes.begin() + lead, block.data());
  bool failed = false;
  const auto done =
      static_cast<unsigned int>(preadUpTo(m_fd, block.data() + lead, size, m_position, failed));
  m_failed = m_failed || failed || done < size;
  block.resize(lead + done);
  const long at = m_position;
  m_position += done;
  if (tagBody) {
    m_header.reset();
    if (!id3v2::vet(*id3v2::parseHeader(std::string_view(block.data(), lead)),
                    std::string_view(block.data() + lead, done))) {
      m_refused = true;
      return {};
    }
    m_id3v2Offset = m_headerAt;
    m_id3v2Tag = block;  // shared, not copied
    return block.mid(lead);
  }
  m_header = id3v2::parseHeader(std::string_view(block.data(), block.size()));
  m_headerAt = at;
  if (block.size() != id3v2::kHeaderSize) {
    m_header.reset();
  } else {
    std::copy(block.begin(), block.end(), m_headerBytes.begin());
  }
  return block;
}

void FdStream::writeBlock(const TagLib::ByteVector&) {
  m_failed = true;
}

void FdStream::insert(const TagLib::ByteVector&, unsigned long, unsigned long) {
  m_failed = true;
}

void FdStream::removeBlock(unsigned long, unsigned long) {
  m_failed = true;
}

void FdStream::truncate(long) {
  m_failed = true;
}

void FdStream::seek(long offset, Position p) {
  long base = 0;
  if (p == Current) {
    base = m_position;
  } else if (p == End) {
    base = m_length;
  }
  // Like fseek, a position before the start is refused and changes nothing.
  if (offset < 0 && -offset > base) {
    return;
  }
  m_position = base + offset;
}

}  // namespace vbmp3
