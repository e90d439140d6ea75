#pragma once

// The commands join a folder and a file name with the native separator, so
// expected paths in tests are written with it: u"/m" SEP u"a.mp3".
#ifdef _WIN32
#define SEP u"\\"
#else
#define SEP u"/"
#endif
