#include "FdStream.h"

#include "FileLayer.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>

namespace vbmp3 {

void ReadOnlyStream::seek(long offset, Position p) {
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

unsigned int ReadOnlyStream::available(unsigned long length) const {
  // A damaged size field must not make us allocate more than the file holds.
  const long left = std::max(0L, m_length - m_position);
  return static_cast<unsigned int>(
      std::min<unsigned long>(length, static_cast<unsigned long>(left)));
}

FdStream::FdStream(int fd, std::string name, off_t length)
    : ReadOnlyStream(std::move(name), static_cast<long>(length)), m_fd(fd) {}

TagLib::ByteVector FdStream::readBlock(unsigned long length) {
  // TagLib reads a tag's header, then at once its body.
  const bool tagBody = m_header && m_position == m_headerAt + 10 && length == m_header->bodySize;
  if (tagBody && m_header->bodySize > id3v2::kMaxTagSize) {
    m_refused = true;
    return {};
  }
  const unsigned int size = available(length);
  // A tag's body is read behind its header, so that the whole tag is at hand.
  const unsigned int lead = tagBody ? static_cast<unsigned int>(id3v2::kHeaderSize) : 0;
  const long at = m_position;
  TagLib::ByteVector block;
  unsigned int done = size;
  if (const char* near = tagBody ? nullptr : windowed(at, size)) {
    block = TagLib::ByteVector(near, size);
  } else {
    block = TagLib::ByteVector(lead + size, '\0');
    std::copy(m_headerBytes.begin(), m_headerBytes.begin() + lead, block.data());
    const Transferred read = preadUpTo(m_fd, block.data() + lead, size, at);
    done = static_cast<unsigned int>(read.done);
    m_failed = m_failed || read.failed || done < size;
    block.resize(lead + done);
  }
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
    // Read through a const view: a shared ByteVector's data() copies it.
    const TagLib::ByteVector& whole = block;
    if (const auto view = id3v2::forTagLib(std::string_view(whole.data(), whole.size()))) {
      return {view->data() + lead, static_cast<unsigned int>(view->size() - lead)};
    }
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

bool FdStream::readAt(long at, char* out, std::size_t size) {
  if (const char* near =
          size <= kWindow ? windowed(at, static_cast<unsigned int>(size)) : nullptr) {
    std::copy_n(near, size, out);
    return true;
  }
  return preadExact(m_fd, out, size, at);
}

const char* FdStream::windowed(long at, unsigned int size) {
  if (size == 0 || size > kWindow / 2) {
    return nullptr;
  }
  const auto holds = [&](const Window& w) {
    return w.at >= 0 && at >= w.at && at + size <= w.at + w.size;
  };
  for (const Window& w : m_windows) {
    if (holds(w)) {
      return w.bytes.data() + (at - w.at);
    }
  }
  // Near the end, the stretch ends with the file, where the tags are.
  Window& w = m_windows[m_nextWindow];
  const long start = at + static_cast<long>(kWindow) > m_length
                         ? std::max(0L, m_length - static_cast<long>(kWindow))
                         : at;
  const auto wanted = static_cast<std::size_t>(std::min<long>(kWindow, m_length - start));
  const Transferred read = preadUpTo(m_fd, w.bytes.data(), wanted, start);
  // A failed or short read is the plain read's to report.
  if (read.failed || read.done < wanted) {
    w.at = -1;
    return nullptr;
  }
  w.at = start;
  w.size = static_cast<unsigned int>(read.done);
  m_nextWindow = (m_nextWindow + 1) % m_windows.size();
  return holds(w) ? w.bytes.data() + (at - w.at) : nullptr;
}

PiecesStream::PiecesStream(int fd, std::string name, std::vector<Piece> pieces)
    : ReadOnlyStream(std::move(name), 0), m_fd(fd), m_pieces(std::move(pieces)) {
  for (const Piece& piece : m_pieces) {
    m_length += piece.length;
  }
}

TagLib::ByteVector PiecesStream::readBlock(unsigned long length) {
  const unsigned int size = available(length);
  long begin = 0;
  auto piece = m_pieces.begin();
  while (piece != m_pieces.end() && begin + piece->length <= m_position) {
    begin += piece->length;
    ++piece;
  }
  // Within bytes in memory, as when TagLib reads a whole tag: shared or copied once.
  if (piece != m_pieces.end() && piece->bytes &&
      m_position + static_cast<long>(size) <= begin + piece->length) {
    const char* from = piece->bytes + (m_position - begin);
    m_position += static_cast<long>(size);
    if (piece->owner) {
      return piece->owner->mid(static_cast<unsigned int>(from - piece->owner->data()), size);
    }
    return {from, size};
  }
  TagLib::ByteVector block(size, '\0');
  unsigned int done = 0;
  for (; piece != m_pieces.end() && done < size; begin += piece->length, ++piece) {
    const long from = m_position + done - begin;
    const auto n = static_cast<unsigned int>(std::min<long>(piece->length - from, size - done));
    if (piece->bytes) {
      std::copy_n(piece->bytes + from, n, block.data() + done);
    } else if (!preadExact(m_fd, block.data() + done, n, piece->fileAt + from)) {
      m_failed = true;
    }
    done += n;
  }
  m_position += static_cast<long>(size);
  return block;
}

}  // namespace vbmp3
