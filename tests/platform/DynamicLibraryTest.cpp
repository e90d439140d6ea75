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
  EXPECT_THROW(library.symbol("VBMP3_INIT"), RuntimeError);  // exact names only

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

}  // namespace
}  // namespace tagkana::platform
