#ifdef _WIN32
#include <windows.h>
#endif

#include <errno.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "platform/DynamicLibrary.h"
#include "platform/SystemError.h"
#include "taglib/Vbmp3Library.h"
#include "taglib/fake/FakeVbmp3.h"

namespace tagkana {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

const std::u16string kFake = u"" TAGKANA_FAKE_VBMP3;
const std::u16string kFakeWithoutSet = u"" TAGKANA_FAKE_VBMP3_NOSET;

void put(unsigned char* ansi, std::size_t offset, std::string_view text) {
  std::memcpy(ansi + offset, text.data(), text.size());
}

std::string slot(const unsigned char* ansi, std::size_t offset, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(ansi) + offset, size);
}

// Holds the test library loaded, so its state is the one the binding's calls
// change, and starts every test from a clean state.
class FakeLibrary {
 public:
  explicit FakeLibrary(std::u16string_view name) : m_library(name) {
    using StateFn = FakeVbmp3State* (*)();
    m_state = reinterpret_cast<StateFn>(m_library.symbol("fake_vbmp3_state"))();
    *m_state = FakeVbmp3State{};
  }
  FakeVbmp3State& operator*() const { return *m_state; }
  FakeVbmp3State* operator->() const { return m_state; }

 private:
  platform::DynamicLibrary m_library;
  FakeVbmp3State* m_state = nullptr;
};

// The error's system reason, after checking its description.
std::u16string expectError(const std::function<void()>& call, std::u16string_view description) {
  try {
    call();
    ADD_FAILURE() << "no RuntimeError";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), description);
    return e.reason();
  }
  return {};
}

TEST(Vbmp3Library, EachCallReachesTheLibraryOnce) {
  FakeLibrary fake(kFake);
  Vbmp3Library library(kFake);
  EXPECT_EQ(fake->initCalls, 0);

  library.init();
  EXPECT_EQ(fake->initCalls, 1);

  TagRecord record;
  AnsiTagRecord buffer{};
  fake->readResult = 1;
  EXPECT_TRUE(library.getFileTagInfoEX(u"/music/さくら.mp3", record, buffer));
  EXPECT_TRUE(library.getFileTagInfoEX(u"/music/b.mp3", record, buffer));
  EXPECT_EQ(fake->readCalls, 2);
  EXPECT_STREQ(fake->lastPath, "/music/b.mp3");

  fake->writeResult = 1;
  EXPECT_TRUE(library.setTagInfoEX(u"/music/さくら.mp3", record, buffer, 0, 1));
  EXPECT_EQ(fake->writeCalls, 1);
  // Paths cross in the file system's encoding: UTF-8 here, the ANSI code page
  // (932 in the Windows test run) on Windows.
#ifdef _WIN32
  EXPECT_STREQ(fake->lastPath, "/music/\x82\xB3\x82\xAD\x82\xE7.mp3");
#else
  EXPECT_STREQ(fake->lastPath, "/music/\xE3\x81\x95\xE3\x81\x8F\xE3\x82\x89.mp3");
  // A name that is not UTF-8 reaches the library as its own bytes.
  EXPECT_TRUE(library.setTagInfoEX(u"/music/caf\xDCE9.mp3", record, buffer, 0, 1));
  EXPECT_STREQ(fake->lastPath, "/music/caf\xE9.mp3");
#endif
  EXPECT_EQ(fake->writeVersion, 0);
  EXPECT_EQ(fake->writeKeepV1, 1);

  library.free();
  EXPECT_EQ(fake->freeCalls, 1);
  EXPECT_EQ(fake->initCalls, 1);
}

TEST(Vbmp3Library, ResultsCountAsDescribed) {
  FakeLibrary fake(kFake);
  Vbmp3Library library(kFake);
  TagRecord record;
  AnsiTagRecord buffer{};

  // Only the low 16 bits of the read's result count.
  for (const auto& [result, filled] :
       {std::pair{1, true}, std::pair{-1, true}, std::pair{0x10000, false}, std::pair{0, false},
        std::pair{0x7FFF0001, true}, std::pair{-65536, false}}) {
    fake->readResult = result;
    EXPECT_EQ(library.getFileTagInfoEX(u"a.mp3", record, buffer), filled) << result;
  }

  // Any non-zero write result is success; zero is failure, never hidden.
  for (const auto& [result, written] :
       {std::pair{1, true}, std::pair{0, false}, std::pair{0x10000, true}}) {
    fake->writeResult = result;
    EXPECT_EQ(library.setTagInfoEX(u"a.mp3", record, buffer, 0, 1), written) << result;
  }

  // A failed read's or write's reason, as the library left it; the library's
  // own reasons are told apart from the system's.
  using Kind = WriteFailure::Kind;
#ifdef _WIN32
  const std::pair<unsigned long, Kind> reasons[] = {{1113, Kind::TitleCharacters},
                                                    {534, Kind::TitleTooLong},
                                                    {32, Kind::Busy},
                                                    {33, Kind::Busy},
                                                    {11, Kind::NotMpeg},
                                                    {223, Kind::TagTooBig},
                                                    {1142, Kind::SeveralNames},
                                                    {13, Kind::NotAsPlanned},
                                                    {997, Kind::NotDurable},
                                                    {ERROR_ACCESS_DENIED, Kind::System},
                                                    {ERROR_FILE_NOT_FOUND, Kind::System}};
#else
  const std::pair<unsigned long, Kind> reasons[] = {{EILSEQ, Kind::TitleCharacters},
                                                    {EOVERFLOW, Kind::TitleTooLong},
                                                    {EBUSY, Kind::Busy},
                                                    {ENOEXEC, Kind::NotMpeg},
                                                    {EFBIG, Kind::TagTooBig},
                                                    {EMLINK, Kind::SeveralNames},
                                                    {EBADMSG, Kind::NotAsPlanned},
                                                    {EINPROGRESS, Kind::NotDurable},
                                                    {EACCES, Kind::System},
                                                    {ENOENT, Kind::System}};
#endif
  for (const auto& [error, kind] : reasons) {
    fake->writeResult = 0;
    fake->writeError = error;
    EXPECT_FALSE(library.setTagInfoEX(u"a.mp3", record, buffer, 0, 1));
    EXPECT_EQ(library.lastWriteFailure().kind, kind) << error;
    EXPECT_EQ(library.lastWriteFailure().code, error);
    fake->readResult = 0x10000;
    fake->readError = error;
    EXPECT_FALSE(library.getFileTagInfoEX(u"a.mp3", record, buffer));
    EXPECT_EQ(library.lastReadFailure().kind, kind) << error;
    EXPECT_EQ(library.lastReadFailure().code, error);
  }
  fake->readResult = 1;
  EXPECT_TRUE(library.getFileTagInfoEX(u"a.mp3", record, buffer));
  EXPECT_EQ(library.lastReadFailure().code, 0u);
  fake->writeResult = 1;
  EXPECT_TRUE(library.setTagInfoEX(u"a.mp3", record, buffer, 0, 1));
  EXPECT_EQ(library.lastWriteFailure().code, 0u);
}

TEST(Vbmp3Library, RecordCrossesAsAnsiFormBothWays) {
  FakeLibrary fake(kFake);
  Vbmp3Library library(kFake);
  TagRecord record;
  AnsiTagRecord readBuffer{};
  AnsiTagRecord writeBuffer{};

  // The read gets the record as the previous file left it.
  record.assignTitle(u"まえ");
  fake->readResult = 1;
  library.getFileTagInfoEX(u"a.mp3", record, readBuffer);
  EXPECT_EQ(slot(fake->readReceived, 0, 5), "\x82\xDC\x82\xA6 ");

  // What the read fills: a title in romaji, and every other field set.
  put(fake->readFill, 0, "Sakura\0"sv);
  put(fake->readFill, 128, "\x83\x65\x83\x58\x83\x67\0"sv);  // テスト
  put(fake->readFill, 256, "Album\0"sv);
  put(fake->readFill, 384, "2001\0"sv);
  put(fake->readFill, 389, std::string(128, 'c'));  // no NUL
  put(fake->readFill, 517, "\x01\x02\x03"sv);       // padding the library dirtied
  put(fake->readFill, 520, "\x0D\x00\x00\x80"sv);
  put(fake->readFill, 524, "\xB1\xB2\xB3\0"sv);  // ｱｲｳ
  put(fake->readFill, 652, "\x07\x00\x01\x00"sv);
  ASSERT_TRUE(library.getFileTagInfoEX(u"b.mp3", record, readBuffer));
  const std::u16string title = TrimNul(record.Title);
  EXPECT_EQ(title, u"Sakura");

  // A title the conversion leaves unchanged still goes back with spaces, and
  // fields 2 to 8 reach the write as the read left them.
  record.assignTitle(title);
  fake->writeResult = 1;
  library.setTagInfoEX(u"b.mp3", record, writeBuffer, 0, 1);
  EXPECT_EQ(slot(fake->writeReceived, 0, 128), "Sakura" + std::string(122, ' '));
  EXPECT_EQ(slot(fake->writeReceived, 128, 389), slot(fake->readFill, 128, 389));
  EXPECT_EQ(slot(fake->writeReceived, 517, 3), "\0\0\0"sv);
  EXPECT_EQ(slot(fake->writeReceived, 520, 136), slot(fake->readFill, 520, 136));

  // After the write the record holds what the library left in the buffer.
  fake->writeLeavesFill = 1;
  put(fake->writeFill, 0, "\x82\xA0\0"sv);
  library.setTagInfoEX(u"b.mp3", record, writeBuffer, 0, 1);
  EXPECT_EQ(TrimNul(record.Title), u"あ");
  EXPECT_EQ(record.Artist, std::u16string(128, u'\0'));
}

TEST(Vbmp3Library, MissingLibraryFailsEveryCallNamingIt) {
  Vbmp3Library library(u"libtagkana_no_such_library.so");  // nothing loaded yet
  const std::u16string description =
      u"タグライブラリ libtagkana_no_such_library.so を読み込めませんでした。";
  expectError([&] { library.init(); }, description);
  TagRecord record;
  record.assignTitle(u"keep");
  AnsiTagRecord buffer{};
  expectError([&] { library.getFileTagInfoEX(u"a.mp3", record, buffer); }, description);
  EXPECT_EQ(TrimNul(record.Title), u"keep" + std::u16string(124, u' '));
  expectError([&] { library.free(); }, description);

  // A library that is there but needs one that is not: the system says which.
  Vbmp3Library needy(u"" TAGKANA_NEEDS_MISSING);
  const std::u16string reason = expectError(
      [&] { needy.init(); }, u"タグライブラリ " TAGKANA_NEEDS_MISSING u" を読み込めませんでした。");
#ifdef _WIN32
  EXPECT_EQ(reason, platform::systemErrorText(ERROR_MOD_NOT_FOUND));
#else
  EXPECT_NE(reason.find(u"tagkana_missing_dependency"), std::u16string::npos) << toUtf8(reason);
#endif
}

TEST(Vbmp3Library, MissingEntryPointFailsOnlyItsOwnCalls) {
  FakeLibrary fake(kFakeWithoutSet);
  Vbmp3Library library(kFakeWithoutSet);
  library.init();
  fake->readResult = 1;
  TagRecord record;
  AnsiTagRecord buffer{};
  EXPECT_TRUE(library.getFileTagInfoEX(u"a.mp3", record, buffer));

  record.assignTitle(u"ひらがな");
  const TagRecord before = record;
  const std::u16string description = u"タグライブラリの関数 vbmp3_setTagInfoEX が見つかりません。";
  const std::u16string reason =
      expectError([&] { library.setTagInfoEX(u"a.mp3", record, buffer, 0, 1); }, description);
  EXPECT_FALSE(reason.empty());  // the system's words for the failed lookup
  expectError([&] { library.setTagInfoEX(u"a.mp3", record, buffer, 0, 1); }, description);
  EXPECT_EQ(record, before);

  // The entry points already bound keep working.
  EXPECT_TRUE(library.getFileTagInfoEX(u"a.mp3", record, buffer));
  library.free();
  EXPECT_EQ(fake->initCalls, 1);
  EXPECT_EQ(fake->readCalls, 2);
  EXPECT_EQ(fake->freeCalls, 1);
}

}  // namespace
}  // namespace tagkana
