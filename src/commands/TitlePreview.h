#pragma once

#include "commands/FormState.h"
#include "commands/Lists.h"
#include "commands/MessageBoxes.h"
#include "taglib/TagLibrary.h"

namespace tagkana {

// Reads, converts and lists the title of every selected file of File1.
void TitlePreview(FormState& state, const FileList& File1, PreviewList& List1, TagLibrary& library,
                  MessageBoxes& boxes);

}  // namespace tagkana
