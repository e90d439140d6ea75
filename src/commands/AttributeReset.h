#pragma once

#include "commands/FormState.h"
#include "commands/Lists.h"
#include "commands/MessageBoxes.h"
#include "commands/Progress.h"
#include "platform/FileSystem.h"

namespace tagkana {

// After confirmation, sets every selected file of File1 to archive only, up to
// a stop asked through `progress`.
void AttributeReset(FormState& state, const FileList& File1, platform::FileSystem& files,
                    MessageBoxes& boxes, Progress& progress = noProgress());

}  // namespace tagkana
