#include "layout/Form1Layout.h"

#include <cmath>
#include <initializer_list>
#include <limits>

namespace tagkana::layout {

int roundHalfEven(double value) {
  constexpr double lowest = std::numeric_limits<int>::min();
  constexpr double highest = std::numeric_limits<int>::max();
  if (!(value > lowest)) {  // NaN lands here too
    return std::numeric_limits<int>::min();
  }
  if (value >= highest) {
    return std::numeric_limits<int>::max();
  }
  double rounded = std::round(value);  // halves away from zero
  if (std::fabs(value - std::trunc(value)) == 0.5) {
    rounded = 2.0 * std::round(value / 2.0);
  }
  return static_cast<int>(rounded);
}

void ResizeHandling::pass(Window& window, const Controls& c, FormSize& size) {
  // A window system that keeps refusing the minimum size must not make the
  // handling recurse for ever.
  constexpr int maxDepth = 4;
  if (m_depth >= maxDepth) {
    return;
  }
  ++m_passes;
  if (window.minimized()) {
    return;
  }
  if (window.Width() < kMinimumSize) {
    correctedPass(window, c, size, true);
    return;
  }
  if (window.Height() < kMinimumSize) {
    correctedPass(window, c, size, false);
    return;
  }

  // Sizes are held in int, so windows above 32767 twips lay out as well.
  size.FormWidth = roundHalfEven(window.Width());
  size.FormHeight = roundHalfEven(window.Height());

  c.Dir1.setWidth(static_cast<float>(size.FormWidth / 3.0));
  c.Dir1.setHeight(static_cast<float>(size.FormHeight / 2.0 - 1500.0));
  c.Drive1.setWidth(c.Dir1.Width());
  c.File1.setLeft(static_cast<float>(double{c.Dir1.Width()} + 120.0));
  c.File1.setWidth(
      static_cast<float>(double{static_cast<float>(size.FormWidth)} - c.Dir1.Width() - 320.0));
  c.File1.setHeight(static_cast<float>(double{c.Dir1.Height()} + c.Dir1.Top()));
  c.List1.setWidth(static_cast<float>(size.FormWidth - 360));
  c.List1.setTop(static_cast<float>(double{c.Dir1.Top()} + c.Dir1.Height() + 100.0));
  c.List1.setHeight(
      static_cast<float>(double{static_cast<float>(size.FormHeight)} - c.List1.Top() - 1300.0));
  c.btnEnd.setLeft(static_cast<float>(size.FormWidth - 1260));
  c.btnChange.setLeft(static_cast<float>(size.FormWidth - 2460));
  c.btnGet.setLeft(static_cast<float>(size.FormWidth - 3660));
  c.btnSelectall.setLeft(c.List1.Left());
  c.btnClear.setLeft(static_cast<float>(double{c.List1.Left()} + 1200.0));
  size.ButtonTop = roundHalfEven(double{c.List1.Height()} + c.List1.Top() + 150.0);
  const auto top = static_cast<float>(size.ButtonTop);
  for (Control* button : {&c.btnEnd, &c.btnChange, &c.btnGet, &c.btnSelectall, &c.btnClear}) {
    button->setTop(top);
  }
}

void ResizeHandling::correctedPass(Window& window, const Controls& c, FormSize& size, bool width) {
  struct DepthGuard {
    int& depth;
    explicit DepthGuard(int& d) : depth(++d) {}
    ~DepthGuard() { --depth; }
  } guard(m_depth);
  const int before = m_passes;
  if (width) {
    window.setWidth(kMinimumSize);
  } else {
    window.setHeight(kMinimumSize);
  }
  // Where the set did not run the handling again inside the call, run it
  // here with the corrected size.
  if (m_passes == before) {
    pass(window, c, size);
  }
}

}  // namespace tagkana::layout
