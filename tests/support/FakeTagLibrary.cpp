#include "support/FakeTagLibrary.h"

#include <cstring>
#include <span>

#include "platform/CodePage.h"

namespace tagkana::test {
namespace {

std::span<char> slot(AnsiTagRecord& buffer, std::size_t field) {
  const auto s = record::kTextSlots[field];
  return {reinterpret_cast<char*>(buffer.data()) + s.offset, s.length};
}

}  // namespace

FakeTagFile& FakeTagLibrary::addFile(const std::u16string& path, const std::u16string& title) {
  FakeTagFile& file = files[path];
  file.title = title;
  return file;
}

std::vector<LibraryCall> FakeTagLibrary::writes() const {
  std::vector<LibraryCall> result;
  for (const auto& call : calls) {
    if (call.kind == LibraryCall::Kind::Write) {
      result.push_back(call);
    }
  }
  return result;
}

std::vector<std::u16string> FakeTagLibrary::readPaths() const {
  std::vector<std::u16string> result;
  for (const auto& call : calls) {
    if (call.kind == LibraryCall::Kind::Read) {
      result.push_back(call.path);
    }
  }
  return result;
}

std::vector<std::u16string> FakeTagLibrary::writtenPaths() const {
  std::vector<std::u16string> result;
  for (const auto& call : writes()) {
    result.push_back(call.path);
  }
  return result;
}

bool FakeTagLibrary::getFileTagInfoEX(std::u16string_view path, TagRecord& record,
                                      AnsiTagRecord& buffer) {
  record.toAnsi(buffer);
  const auto found = files.find(std::u16string(path));
  const bool ok = found != files.end() && found->second.readable;
  m_readFailure = ok || found == files.end() ? WriteFailure{} : found->second.failure;
  if (ok) {
    const FakeTagFile& file = found->second;
    if (file.title) {
      platform::encodeCp932Slot(*file.title, slot(buffer, 0));
    }
    if (file.artist) {
      platform::encodeCp932Slot(*file.artist, slot(buffer, 1));
    }
    if (file.trackNumber) {
      std::memcpy(buffer.data() + record::kTrackNumberOffset, file.trackNumber->data(), 4);
    }
  }
  record.fromAnsi(buffer);
  calls.push_back({LibraryCall::Kind::Read, std::u16string(path), record, buffer});
  return ok;
}

bool FakeTagLibrary::setTagInfoEX(std::u16string_view path, TagRecord& record,
                                  AnsiTagRecord& buffer, std::int32_t version,
                                  std::int32_t keepV1) {
  record.toAnsi(buffer);
  calls.push_back(
      {LibraryCall::Kind::Write, std::u16string(path), record, buffer, version, keepV1});
  const auto found = files.find(std::u16string(path));
  const bool ok = found != files.end() && found->second.writable;
  m_failure = ok || found == files.end() ? WriteFailure{} : found->second.failure;
  if (ok) {
    const auto title = slot(buffer, 0);
    std::u16string text =
        TrimNul(platform::decodeCp932(std::string_view(title.data(), title.size())));
    text.erase(text.find_last_not_of(u' ') + 1);
    found->second.title = text;
  }
  record.fromAnsi(buffer);
  return ok;
}

}  // namespace tagkana::test
