#pragma once

#include "commands/FormState.h"
#include "commands/Lists.h"
#include "commands/MessageBoxes.h"
#include "platform/FileSystem.h"

namespace tagkana {

// After confirmation, sets every selected file of File1 to archive only.
void AttributeReset(FormState& state, const FileList& File1, platform::FileSystem& files,
                    MessageBoxes& boxes);

}  // namespace tagkana
