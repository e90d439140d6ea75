#include "layout/Form1Layout.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tagkana::layout {
namespace {

// Keeps exactly what it is given, or whole pixels of 15 twips.
class FakeControl : public Control {
 public:
  FakeControl(float left, float top, float width, float height, bool snaps)
      : m_left(left), m_top(top), m_width(width), m_height(height), m_snaps(snaps) {}
  float Left() const override { return m_left; }
  float Top() const override { return m_top; }
  float Width() const override { return m_width; }
  float Height() const override { return m_height; }
  void setLeft(float v) override { m_left = keep(v); }
  void setTop(float v) override { m_top = keep(v); }
  void setWidth(float v) override { m_width = keep(v); }
  void setHeight(float v) override { m_height = keep(v); }

 private:
  float keep(float v) const { return m_snaps ? std::round(v / 15.0f) * 15.0f : v; }
  float m_left, m_top, m_width, m_height;
  bool m_snaps;
};

struct Form {
  explicit Form(bool snaps)
      : Drive1(120, 0, 2535, 300, snaps),
        Dir1(120, 360, 2535, 3030, snaps),
        File1(2760, 0, 4815, 3510, snaps),
        List1(120, 3600, 7455, 3420, snaps),
        btnEnd(6600, 7080, 1000, 375, snaps),
        btnChange(5400, 7080, 1000, 375, snaps),
        btnGet(4200, 7080, 1000, 375, snaps),
        btnSelectall(120, 7080, 1000, 375, snaps),
        btnClear(1200, 7080, 1000, 375, snaps) {}
  Controls controls() {
    return {Drive1, Dir1, File1, List1, btnEnd, btnChange, btnGet, btnSelectall, btnClear};
  }
  FakeControl Drive1, Dir1, File1, List1, btnEnd, btnChange, btnGet, btnSelectall, btnClear;
};

// A window whose size sets either run the handling again inside the call, as
// the described runtime does, or do not.
class FakeWindow : public Window {
 public:
  FakeWindow(float width, float height, bool nests) : width(width), height(height), nests(nests) {}
  bool minimized() const override { return isMinimized; }
  float Width() const override { return width; }
  float Height() const override { return height; }
  void setWidth(float v) override {
    widthSets.push_back(v);
    width = v;
    if (nests) {
      handling->pass(*this, form->controls(), *state);
    }
  }
  void setHeight(float v) override {
    heightSets.push_back(v);
    height = v;
    if (nests) {
      handling->pass(*this, form->controls(), *state);
    }
  }

  float width;
  float height;
  bool nests;
  bool isMinimized = false;
  std::vector<float> widthSets;
  std::vector<float> heightSets;
  ResizeHandling* handling = nullptr;
  Form* form = nullptr;
  FormSize* state = nullptr;
};

struct Resize {
  Resize(float width, float height, bool snaps, bool nests)
      : form(snaps), window(width, height, nests) {
    window.handling = &handling;
    window.form = &form;
    window.state = &state;
  }
  void pass() { handling.pass(window, form.controls(), state); }

  Form form;
  FakeWindow window;
  ResizeHandling handling;
  FormSize state;
};

TEST(Form1Layout, WorkedExampleWithExactControls) {
  Resize run(9015, 8265, false, true);
  run.pass();
  const Form& f = run.form;
  EXPECT_EQ(run.state.FormWidth, 9015);
  EXPECT_EQ(run.state.FormHeight, 8265);
  EXPECT_EQ(f.Dir1.Width(), 3005.0f);
  EXPECT_EQ(f.Dir1.Height(), 2632.5f);
  EXPECT_EQ(f.Drive1.Width(), 3005.0f);
  EXPECT_EQ(f.File1.Left(), 3125.0f);
  EXPECT_EQ(f.File1.Width(), 5690.0f);
  EXPECT_EQ(f.File1.Height(), 2992.5f);
  EXPECT_EQ(f.List1.Width(), 8655.0f);
  EXPECT_EQ(f.List1.Top(), 3092.5f);
  EXPECT_EQ(f.List1.Height(), 3872.5f);
  EXPECT_EQ(f.btnEnd.Left(), 7755.0f);
  EXPECT_EQ(f.btnChange.Left(), 6555.0f);
  EXPECT_EQ(f.btnGet.Left(), 5355.0f);
  EXPECT_EQ(f.btnSelectall.Left(), 120.0f);
  EXPECT_EQ(f.btnClear.Left(), 1320.0f);
  EXPECT_EQ(run.state.ButtonTop, 7115);
  for (const FakeControl* b : {&f.btnEnd, &f.btnChange, &f.btnGet, &f.btnSelectall, &f.btnClear}) {
    EXPECT_EQ(b->Top(), 7115.0f);
    EXPECT_EQ(b->Width(), 1000.0f);
    EXPECT_EQ(b->Height(), 375.0f);
  }
  // Never moved by the layout.
  EXPECT_EQ(f.Drive1.Left(), 120.0f);
  EXPECT_EQ(f.Drive1.Top(), 0.0f);
  EXPECT_EQ(f.Drive1.Height(), 300.0f);
  EXPECT_EQ(f.Dir1.Top(), 360.0f);
  EXPECT_EQ(f.File1.Top(), 0.0f);
  EXPECT_EQ(f.List1.Left(), 120.0f);
  EXPECT_TRUE(run.window.widthSets.empty());
  EXPECT_TRUE(run.window.heightSets.empty());
}

// Controls that keep whole pixels: every later step uses what they report.
TEST(Form1Layout, ReadsBackWhatControlsKeep) {
  Resize run(9015, 8265, true, true);
  run.pass();
  const Form& f = run.form;
  EXPECT_EQ(f.Dir1.Width(), 3000.0f);   // 3005 kept as 200 pixels
  EXPECT_EQ(f.Dir1.Height(), 2640.0f);  // 2632.5 kept as 176 pixels
  EXPECT_EQ(f.Drive1.Width(), 3000.0f);
  EXPECT_EQ(f.File1.Left(), 3120.0f);
  EXPECT_EQ(f.File1.Width(), 5700.0f);   // 9015 - 3000 - 320 = 5695
  EXPECT_EQ(f.File1.Height(), 3000.0f);  // 2640 + 360
  EXPECT_EQ(f.List1.Top(), 3105.0f);     // 3100
  EXPECT_EQ(f.List1.Height(), 3855.0f);  // 8265 - 3105 - 1300 = 3860
  EXPECT_EQ(run.state.ButtonTop, 7110);  // 3855 + 3105 + 150
  for (const FakeControl* b : {&f.btnEnd, &f.btnChange, &f.btnGet, &f.btnSelectall, &f.btnClear}) {
    EXPECT_EQ(b->Top(), 7110.0f);
  }
  EXPECT_EQ(f.btnClear.Left(), 1320.0f);
}

TEST(Form1Layout, KeepsTheMinimumSize) {
  // Exactly the minimum: no correction.
  {
    Resize run(6200, 6200, false, true);
    run.pass();
    EXPECT_TRUE(run.window.widthSets.empty());
    EXPECT_TRUE(run.window.heightSets.empty());
    EXPECT_EQ(run.state.FormWidth, 6200);
    EXPECT_EQ(run.state.FormHeight, 6200);
    EXPECT_EQ(run.form.Dir1.Height(), 1600.0f);
    EXPECT_EQ(run.state.ButtonTop, 5050);
  }
  // 5000 x 5000: width, then height inside it, then one layout for 6200 x 6200,
  // whether or not a size set raises the handling again.
  for (bool nests : {true, false}) {
    Resize run(5000, 5000, false, nests);
    run.pass();
    EXPECT_EQ(run.window.widthSets, std::vector<float>{6200.0f}) << nests;
    EXPECT_EQ(run.window.heightSets, std::vector<float>{6200.0f}) << nests;
    EXPECT_EQ(run.state.FormWidth, 6200) << nests;
    EXPECT_EQ(run.state.FormHeight, 6200) << nests;
    EXPECT_EQ(run.form.List1.Width(), 5840.0f) << nests;
  }
  // 7000 x 4000: only the height is corrected.
  for (bool nests : {true, false}) {
    Resize run(7000, 4000, false, nests);
    run.pass();
    EXPECT_TRUE(run.window.widthSets.empty()) << nests;
    EXPECT_EQ(run.window.heightSets, std::vector<float>{6200.0f}) << nests;
    EXPECT_EQ(run.state.FormWidth, 7000) << nests;
    EXPECT_EQ(run.state.FormHeight, 6200) << nests;
    EXPECT_EQ(run.form.btnEnd.Left(), 5740.0f) << nests;
  }
  // A window system that never takes the size ends the handling all the same.
  {
    struct Stubborn : FakeWindow {
      using FakeWindow::FakeWindow;
      void setWidth(float v) override { widthSets.push_back(v); }
    } stubborn(5000, 7000, false);
    Form form(false);
    FormSize state;
    ResizeHandling handling;
    handling.pass(stubborn, form.controls(), state);
    EXPECT_GE(stubborn.widthSets.size(), 1u);
    EXPECT_LE(stubborn.widthSets.size(), 8u);
    EXPECT_EQ(state.FormWidth, 0);
  }
}

TEST(Form1Layout, MinimizedChangesNothing) {
  Resize run(3000, 3000, false, true);
  run.window.isMinimized = true;
  run.pass();
  EXPECT_TRUE(run.window.widthSets.empty());
  EXPECT_TRUE(run.window.heightSets.empty());
  EXPECT_EQ(run.form.Dir1.Width(), 2535.0f);
  EXPECT_EQ(run.form.List1.Top(), 3600.0f);
  EXPECT_EQ(run.form.btnEnd.Left(), 6600.0f);
  EXPECT_EQ(run.state.FormWidth, 0);
  EXPECT_EQ(run.state.ButtonTop, 0);
}

TEST(Form1Layout, SizesRoundHalfToEvenAndGoPast32767) {
  Resize odd(6200.5f, 6201.5f, false, true);
  odd.pass();
  EXPECT_EQ(odd.state.FormWidth, 6200);
  EXPECT_EQ(odd.state.FormHeight, 6202);
  EXPECT_FLOAT_EQ(odd.form.Dir1.Width(), 2066.6667f);

  Resize wide(40000, 36000, false, true);
  wide.pass();
  EXPECT_EQ(wide.state.FormWidth, 40000);
  EXPECT_EQ(wide.state.FormHeight, 36000);
  EXPECT_EQ(wide.form.List1.Width(), 39640.0f);
  EXPECT_EQ(wide.form.btnEnd.Left(), 38740.0f);
  EXPECT_EQ(wide.state.ButtonTop, 34850);

  EXPECT_EQ(roundHalfEven(0.5), 0);
  EXPECT_EQ(roundHalfEven(1.5), 2);
  EXPECT_EQ(roundHalfEven(2.5), 2);
  EXPECT_EQ(roundHalfEven(-2.5), -2);
  EXPECT_EQ(roundHalfEven(7114.6), 7115);
  EXPECT_EQ(roundHalfEven(1e12), 2147483647);
}

}  // namespace
}  // namespace tagkana::layout
