#pragma once

#include <sys/types.h>
#include <taglib/tbytevector.h>
#include <taglib/tiostream.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "Id3v2.h"

namespace vbmp3 {

// What TagLib may read and never write: a write through it only marks it
// failed. Seeking is fseek's.
class ReadOnlyStream : public TagLib::IOStream {
 public:
  ReadOnlyStream(std::string name, long length) : m_name(std::move(name)), m_length(length) {}

  TagLib::FileName name() const override { return m_name.c_str(); }
  void writeBlock(const TagLib::ByteVector&) override { m_failed = true; }
  void insert(const TagLib::ByteVector&, unsigned long = 0, unsigned long = 0) override {
    m_failed = true;
  }
  void removeBlock(unsigned long = 0, unsigned long = 0) override { m_failed = true; }
  bool readOnly() const override { return true; }
  bool isOpen() const override { return true; }
  void seek(long offset, Position p = Beginning) override;
  void clear() override {}
  long tell() const override { return m_position; }
  long length() override { return m_length; }
  void truncate(long) override { m_failed = true; }

  // True once a read failed for another reason than the end of the file, so
  // that what TagLib parsed from it cannot be trusted.
  bool failed() const { return m_failed; }

 protected:
  // What is left to read of `length` from the current position.
  unsigned int available(unsigned long length) const;

  std::string m_name;
  long m_length;
  long m_position = 0;
  bool m_failed = false;
};

// A TagLib stream over an open file descriptor. An ID3v2 tag reaches TagLib
// only once it is known to keep within the bounds of a safe parse; otherwise
// TagLib gets nothing and the stream is refused.
class FdStream : public ReadOnlyStream {
 public:
  FdStream(int fd, std::string name, off_t length);

  TagLib::ByteVector readBlock(unsigned long length) override;

  // Every byte of `size` at `at`, from the stretches already read where it
  // lies in them.
  bool readAt(long at, char* out, std::size_t size);

  bool refused() const { return m_refused; }
  // Where the ID3v2 tag TagLib parsed begins.
  std::optional<long> id3v2Offset() const { return m_id3v2Offset; }
  // And its bytes, header and body (the footer is not read).
  const TagLib::ByteVector& id3v2Tag() const { return m_id3v2Tag; }

 private:
  // Small reads come from the last stretches read: TagLib and the audio
  // checks read a few bytes at a time near the audio's start and the end.
  static constexpr unsigned int kWindow = 4096;
  struct Window {
    long at = -1;
    unsigned int size = 0;
    std::array<char, kWindow> bytes;
  };
  const char* windowed(long at, unsigned int size);

  int m_fd;
  bool m_refused = false;
  std::array<Window, 2> m_windows;
  std::size_t m_nextWindow = 0;
  // The last ID3v2 header TagLib read, and where.
  std::optional<id3v2::Header> m_header;
  long m_headerAt = -1;
  std::optional<long> m_id3v2Offset;
  TagLib::ByteVector m_id3v2Tag;
  std::array<char, id3v2::kHeaderSize> m_headerBytes{};
};

// A file as it will be, made of pieces of the file and of bytes in memory,
// for TagLib to read without the whole of it being copied first.
class PiecesStream : public ReadOnlyStream {
 public:
  struct Piece {
    long length;
    const char* bytes;  // or, when null, the file's bytes from `fileAt`
    off_t fileAt;
    const TagLib::ByteVector* owner = nullptr;  // holding `bytes`, to share them
  };
  PiecesStream(int fd, std::string name, std::vector<Piece> pieces);

  TagLib::ByteVector readBlock(unsigned long length) override;

 private:
  int m_fd;
  std::vector<Piece> m_pieces;
};

}  // namespace vbmp3
