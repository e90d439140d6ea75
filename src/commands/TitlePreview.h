#pragma once

#include "commands/FileWait.h"
#include "commands/FormState.h"
#include "commands/Lists.h"
#include "commands/MessageBoxes.h"
#include "commands/Progress.h"
#include "taglib/TagLibrary.h"

namespace tagkana {

// Reads, converts and lists the title of every selected file of File1. A stop
// asked through `progress` keeps the rows added so far. A file another
// program holds is waited for on `clock`, with `progress` asked along the way;
// one still held stops the preview as an unreadable one does.
void TitlePreview(FormState& state, const FileList& File1, PreviewList& List1, TagLibrary& library,
                  MessageBoxes& boxes, Progress& progress = noProgress(),
                  platform::FileSystem& files = platform::systemFileSystem(),
                  WaitClock& clock = systemWaitClock());

}  // namespace tagkana
