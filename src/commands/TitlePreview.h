#pragma once

#include "commands/FormState.h"
#include "commands/Lists.h"
#include "commands/MessageBoxes.h"
#include "commands/Progress.h"
#include "taglib/TagLibrary.h"

namespace tagkana {

// Reads, converts and lists the title of every selected file of File1. A stop
// asked through `progress` keeps the rows added so far.
void TitlePreview(FormState& state, const FileList& File1, PreviewList& List1, TagLibrary& library,
                  MessageBoxes& boxes, Progress& progress = noProgress());

}  // namespace tagkana
