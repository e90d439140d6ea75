#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "common/RuntimeError.h"
#include "platform/DynamicLibrary.h"
#include "taglib/fake/FakeVbmp3.h"

namespace tagkana::platform {
namespace {

using StateFn = FakeVbmp3State* (*)();

TEST(DynamicLibrary, LoadsByBareNameAndFindsEntryPoints) {
  DynamicLibrary library(u"" TAGKANA_FAKE_VBMP3);
  auto* state = reinterpret_cast<StateFn>(library.symbol("fake_vbmp3_state"))();
  ASSERT_NE(state, nullptr);
  EXPECT_NE(library.symbol("vbmp3_setTagInfoEX"), nullptr);

  // Loading again gives the same library, with the same state.
  DynamicLibrary again(u"" TAGKANA_FAKE_VBMP3);
  EXPECT_EQ(reinterpret_cast<StateFn>(again.symbol("fake_vbmp3_state"))(), state);

  // A moved-from library holds nothing; the one moved into keeps working.
  DynamicLibrary moved(std::move(library));
  EXPECT_THROW(library.symbol("fake_vbmp3_state"), RuntimeError);
  EXPECT_EQ(reinterpret_cast<StateFn>(moved.symbol("fake_vbmp3_state"))(), state);
  again = std::move(moved);
  EXPECT_EQ(reinterpret_cast<StateFn>(again.symbol("fake_vbmp3_state"))(), state);
}

TEST(DynamicLibrary, FailuresNameWhatIsMissing) {
  try {
    DynamicLibrary library(u"libtagkana_no_such_library.so");
    ADD_FAILURE() << "loaded a library that does not exist";
  } catch (const RuntimeError& e) {
    EXPECT_NE(e.description().find(u"libtagkana_no_such_library.so"), std::u16string::npos);
  }

  DynamicLibrary library(u"" TAGKANA_FAKE_VBMP3_NOSET);
  EXPECT_NE(library.symbol("vbmp3_getFileTagInfoEX"), nullptr);
  try {
    library.symbol("vbmp3_setTagInfoEX");
    ADD_FAILURE() << "found an entry point the library lacks";
  } catch (const RuntimeError& e) {
    EXPECT_NE(e.description().find(u"vbmp3_setTagInfoEX"), std::u16string::npos);
  }
  // Exact names only: no case folding, no decoration.
  EXPECT_THROW(library.symbol("VBMP3_INIT"), RuntimeError);
}

}  // namespace
}  // namespace tagkana::platform
