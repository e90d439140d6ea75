#pragma once

// tagkana-cli: the window's preview and 変換 over whole folders, with undo.
namespace tagkana::cli {

// Exit codes: 0 all done or nothing to do, 1 some files failed, 2 bad usage,
// 130 interrupted.
int run(int argc, char** argv);

}  // namespace tagkana::cli
