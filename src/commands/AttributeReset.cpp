#include "commands/AttributeReset.h"

namespace tagkana {

void AttributeReset(FormState&, const FileList&, platform::FileSystem&, MessageBoxes&) {}

}  // namespace tagkana
