#include "commands/TitlePreview.h"

namespace tagkana {

void TitlePreview(FormState&, const FileList&, PreviewList&, TagLibrary&, MessageBoxes&) {}

}  // namespace tagkana
