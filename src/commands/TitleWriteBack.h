#pragma once

#include "commands/FileWait.h"
#include "commands/FormState.h"
#include "commands/Lists.h"
#include "commands/MessageBoxes.h"
#include "commands/Progress.h"
#include "platform/FileSystem.h"
#include "taglib/TagLibrary.h"

namespace tagkana {

// After confirmation, rewrites the title of the file behind every selected
// row of List1 with its hiragana conversion, and shows the result log. A stop
// asked through `progress` ends the log with the number of selected rows not
// attempted. A file another program holds is waited for on `clock`, with
// `progress` asked along the way; one still held fails its own line.
void TitleWriteBack(FormState& state, const PreviewList& List1, TagLibrary& library,
                    platform::FileSystem& files, MessageBoxes& boxes,
                    Progress& progress = noProgress(), WaitClock& clock = systemWaitClock());

}  // namespace tagkana
