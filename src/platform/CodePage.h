#pragma once

#include "record/Cp932.h"

namespace tagkana::platform {

// Code page 932 is the record's own (record/Cp932.h), the same on every OS;
// CodePageSystem.h holds what the OS's converter says, to check it against.
using record::decodeCp932;
using record::encodeCp932;
using record::encodeCp932Slot;
using record::isValidCp932;

}  // namespace tagkana::platform
