#pragma once

// The window layout on resize, in twips, with no Qt: Form1 applies it to its
// widgets and the tests apply it to plain objects.
namespace tagkana::layout {

// A control's geometry in single-precision twips, relative to the client
// area. A control may adjust a value it is given (to whole pixels, say); the
// layout reads back what the control keeps.
class Control {
 public:
  virtual ~Control() = default;
  virtual float Left() const = 0;
  virtual float Top() const = 0;
  virtual float Width() const = 0;
  virtual float Height() const = 0;
  virtual void setLeft(float twips) = 0;
  virtual void setTop(float twips) = 0;
  virtual void setWidth(float twips) = 0;
  virtual void setHeight(float twips) = 0;
};

// The window's outer size in twips, frame and menu bar included. A set may or
// may not run the resize handling again before it returns.
class Window {
 public:
  virtual ~Window() = default;
  virtual bool minimized() const = 0;
  virtual float Width() const = 0;
  virtual float Height() const = 0;
  virtual void setWidth(float twips) = 0;
  virtual void setHeight(float twips) = 0;
};

struct Controls {
  Control& Drive1;
  Control& Dir1;
  Control& File1;
  Control& List1;
  Control& btnEnd;
  Control& btnChange;
  Control& btnGet;
  Control& btnSelectall;
  Control& btnClear;
};

// The window's numbers at the last completed layout, in twips.
struct FormSize {
  int FormWidth = 0;
  int FormHeight = 0;
  int ButtonTop = 0;
};

inline constexpr float kMinimumSize = 6200.0f;
// Twips per device-independent pixel, whatever the screen's scale.
inline constexpr int kTwipsPerPixel = 15;

// Nearest integer, halves to the even neighbour, clamped to the int range.
int roundHalfEven(double value);

// The resize handling of Form1. Call pass() on every size change; it keeps the
// window at least 6200 twips in each direction and lays the controls out,
// storing the numbers it went by in `size`.
class ResizeHandling {
 public:
  void pass(Window& window, const Controls& controls, FormSize& size);

 private:
  void correctedPass(Window& window, const Controls& controls, FormSize& size, bool width);

  int m_passes = 0;
  int m_depth = 0;
};

}  // namespace tagkana::layout
