// Tagkana.exe: the window of standard controls over the shared commands.
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdlib>

#include "platform/FileSystem.h"
#include "taglib/Vbmp3Library.h"
#include "win32/Form1.h"
#include "win32/SystemMessageBoxes.h"
#ifdef TAGKANA_TEST_HOOKS
#include "app/TestDriver.h"
#endif

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  tagkana::Vbmp3Library library;
  tagkana::win32::Form1* shown = nullptr;
  tagkana::win32::SystemMessageBoxes boxes(
      [&shown] { return shown != nullptr ? shown->window() : nullptr; });
#ifdef TAGKANA_TEST_HOOKS
  // A test sees the progress box from the first file on.
  const std::chrono::milliseconds progressDelay(_wgetenv(L"TAGKANA_PROGRESS_DELAY_MS") != nullptr
                                                    ? _wtoi(_wgetenv(L"TAGKANA_PROGRESS_DELAY_MS"))
                                                    : 500);
#else
  const std::chrono::milliseconds progressDelay(500);
#endif
  tagkana::win32::Form1 form(library, boxes, tagkana::platform::systemFileSystem(), progressDelay);
  shown = &form;
  if (!form.create(show)) {
    return 1;  // the tag library could not be started
  }
#ifdef TAGKANA_TEST_HOOKS
  tagkana::win32::TestDriver driver(form);
#endif

  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!form.preTranslate(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return static_cast<int>(message.wParam);
}
