#pragma once

namespace tagkana {

// Sets up the application (name, version, Qt's Japanese texts), shows the
// window and runs the event loop. Only a build with TAGKANA_TEST_HOOKS (the
// screenshot command's and the start-up benchmark's) reads two environment
// variables: TAGKANA_GRAB=<file.png> saves the shown window to that file and
// ends the program; TAGKANA_QUIT_WHEN_SHOWN=1 ends it as soon as the window
// shows.
int runApplication(int& argc, char** argv);

}  // namespace tagkana
