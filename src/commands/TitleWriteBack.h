#pragma once

#include "commands/FormState.h"
#include "commands/Lists.h"
#include "commands/MessageBoxes.h"
#include "platform/FileSystem.h"
#include "taglib/TagLibrary.h"

namespace tagkana {

// After confirmation, rewrites the title of the file behind every selected
// row of List1 with its hiragana conversion, and shows the result log.
void TitleWriteBack(FormState& state, const PreviewList& List1, TagLibrary& library,
                    platform::FileSystem& files, MessageBoxes& boxes);

}  // namespace tagkana
