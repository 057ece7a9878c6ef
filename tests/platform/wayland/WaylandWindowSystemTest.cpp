// The window system of the layer surfaces, over fake surfaces: where each
// window's input region goes, how the outputs lie, and how a save reads
// them (each surface presenting first, the picture stitched only once every
// part came, and the ways it fails).

#include "platform/WaylandConnection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using TLog = std::vector<std::string>;

// A pixel of surface id at (x, y) of its output's device pixels.
std::uint32_t Pixel(int id, int x, int y) {
  return 0xFF000000u | static_cast<std::uint32_t>(id << 16 | y << 8 | x);
}

class TFakeSurface final : public TLayerSurface, private TLayerSurfaceListener {
 public:
  TFakeSurface(int id, int width, int height, int scale, TLog& log)
      : Id(id), FWidth(width), FHeight(height), FScale(scale), FLog(log) {
    SetListener(this);
  }
  void SetListener(TLayerSurfaceListener* listener) override { FListener = listener; }
  TLayerSurfaceListener* Listener() const override { return FListener; }
  bool Remake(TWaylandKeyboard) override { return true; }
  bool Reopen(TWaylandKeyboard) override { return true; }
  int ShownOn(int) override { return 0; }
  void SetKeyboard(TWaylandKeyboard) override {}
  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  int OutputScale() const override { return FScale; }
  TWaylandPixels AcquireBuffer(int) override { return {}; }
  void Present(std::span<const TPlatformRect>) override {}
  bool WaitPresented(int) override {
    FLog.push_back(Name() + " waits");
    return true;
  }
  void SetInputRegion(std::span<const TPlatformRect> rects) override { Input.assign(rects.begin(), rects.end()); }
  void SetFullInput() override { Input = {{-1, -1, -1, -1}}; }
  void SetInputOverride(bool) override {}
  bool CaptureOutput(const TPlatformRect& rect, std::span<std::uint32_t> pixels, int, std::string& error) override {
    FLog.push_back(Name() + " copies " + std::to_string(rect.X) + "," + std::to_string(rect.Y) + " " +
                   std::to_string(rect.Width) + "x" + std::to_string(rect.Height));
    if (Refuses) {
      error = "refused";
      return false;
    }
    for (int y = 0; y < rect.Height; ++y)
      for (int x = 0; x < rect.Width; ++x)
        pixels[static_cast<std::size_t>(y * rect.Width + x)] = Pixel(Id, rect.X + x, rect.Y + y);
    return true;
  }
  void SetCursorShape(int) override {}
  void SetCursorPicture(const TWaylandPixels&, int, int, int) override {}

  void Resize(int width) { FWidth = width; }
  const int Id;
  bool Refuses = false;
  std::vector<TPlatformRect> Input;

 private:
  void BeforeCapture() override { FLog.push_back(Name() + " presents"); }
  std::string Name() const { return "surface " + std::to_string(Id); }
  int FWidth;
  int FHeight;
  int FScale;
  TLog& FLog;
  TLayerSurfaceListener* FListener = nullptr;
};

class TFakeConnection final : public TWaylandConnection {
 public:
  bool HasLayerShell() const override { return true; }
  bool HasScreenCopy() const override { return ScreenCopy; }
  int Descriptor() const override { return -1; }
  bool ReadEvents() override { return true; }
  bool Flush() override { return true; }
  bool Roundtrip() override { return true; }
  int OutputCount() const override { return 2; }
  std::unique_ptr<TLayerSurface> CreateSurface(TWaylandKeyboard, int) override { return nullptr; }
  bool ScreenCopy = true;
};

// The main surface 4x2 at scale 1 at the origin, another 2x2 at scale 2
// (4x4 device pixels) to its right; window 1 lies on the first, 2 on the
// other, 3 on none.
struct TDesktop {
  TLog Log;
  TFakeConnection Connection;
  TFakeSurface Main{1, 4, 2, 1, Log};
  TFakeSurface Other{2, 2, 2, 2, Log};
  std::vector<std::string> Fallback;
  std::unique_ptr<TWindowSystem> System = CreateWaylandWindowSystem(
      Connection, Main,
      [this](TNativeWindow w) -> TLayerSurface* { return w == 1 ? &Main : w == 2 ? &Other : nullptr; }, 2,
      {{&Other, 4, 0}}, [this](const TPlatformRect& r, std::span<std::uint32_t> pixels, std::string&) {
        Fallback.push_back(std::to_string(r.Width) + "x" + std::to_string(r.Height));
        std::fill(pixels.begin(), pixels.end(), 0xFF0000FFu);
        return true;
      });
};

TEST(WaylandWindowSystem, InputRegionsGoToTheSurfaceTheWindowLiesOnInItsPixels) {
  TDesktop d;
  // Qt's device pixels (2 a surface pixel), each rectangle grown to whole surface pixels.
  const TPlatformRect rects[] = {{3, 3, 4, 4}, {0, 0, 2, 2}};
  d.System->SetInputRegion(1, rects);
  EXPECT_EQ(d.Main.Input, (std::vector<TPlatformRect>{{1, 1, 3, 3}, {0, 0, 1, 1}}));
  EXPECT_TRUE(d.Other.Input.empty());
  d.System->SetFullInput(2);
  EXPECT_EQ(d.Other.Input, (std::vector<TPlatformRect>{{-1, -1, -1, -1}}));
  d.System->SetInputRegion(3, rects);  // a window on no surface changes none
  d.System->SetFullInput(3);
  EXPECT_EQ(d.Main.Input.size(), 2u);
  EXPECT_EQ(d.System->Monitors(), (std::vector<TPlatformRect>{{0, 0, 4, 2}, {4, 0, 4, 4}}));
}

TEST(WaylandWindowSystem, ASaveOfEveryOutputReadsEachOnceAllHavePresented) {
  TDesktop d;
  std::vector<std::uint32_t> pixels(8 * 4, 0x12345678u);
  ASSERT_TRUE(d.System->CaptureScreen({0, 0, 8, 4}, pixels));
  EXPECT_EQ(d.Log, (TLog{"surface 1 presents", "surface 2 presents", "surface 1 waits", "surface 2 waits",
                         "surface 1 copies 0,0 4x2", "surface 2 copies 0,0 4x4"}));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) {
      // Black below the smaller output.
      const std::uint32_t expected = x >= 4 ? Pixel(2, x - 4, y) : y < 2 ? Pixel(1, x, y) : 0xFF000000u;
      EXPECT_EQ(pixels[static_cast<std::size_t>(y * 8 + x)], expected) << x << "," << y;
    }

  // A part of the main output only: that surface alone.
  d.Log.clear();
  std::vector<std::uint32_t> part(2 * 1);
  ASSERT_TRUE(d.System->CaptureScreen({1, 1, 2, 1}, part));
  EXPECT_EQ(d.Log, (TLog{"surface 1 presents", "surface 1 waits", "surface 1 copies 1,1 2x1"}));
  EXPECT_EQ(part, (std::vector<std::uint32_t>{Pixel(1, 1, 1), Pixel(1, 2, 1)}));
}

TEST(WaylandWindowSystem, ASaveThatCannotReadEveryOutputFailsWithWhyAndLeavesThePixels) {
  const std::vector<std::uint32_t> untouched(8 * 4, 0x12345678u);
  {
    TDesktop d;
    d.Other.Refuses = true;
    std::vector<std::uint32_t> pixels = untouched;
    EXPECT_FALSE(d.System->CaptureScreen({0, 0, 8, 4}, pixels));
    EXPECT_EQ(d.System->CaptureError(), "refused");
    EXPECT_EQ(pixels, untouched);
  }
  {
    TDesktop d;
    d.Other.Resize(3);  // Qt's screens keep the sizes of the start
    std::vector<std::uint32_t> pixels = untouched;
    EXPECT_FALSE(d.System->CaptureScreen({0, 0, 8, 4}, pixels));
    EXPECT_NE(d.System->CaptureError().find("changed its size"), std::string::npos);
    EXPECT_EQ(std::count_if(d.Log.begin(), d.Log.end(), [](const auto& l) { return l.find("copies") != l.npos; }), 0);
    EXPECT_EQ(pixels, untouched);
  }
  {
    // Without the screen copy the fallback pictures the whole main output,
    // and only that.
    TDesktop d;
    d.Connection.ScreenCopy = false;
    std::vector<std::uint32_t> pixels = untouched;
    EXPECT_FALSE(d.System->CaptureScreen({0, 0, 8, 4}, pixels));
    EXPECT_NE(d.System->CaptureError().find("several screens"), std::string::npos);
    std::vector<std::uint32_t> part(2);
    EXPECT_FALSE(d.System->CaptureScreen({1, 1, 2, 1}, part));
    EXPECT_NE(d.System->CaptureError().find("for a part of the screen"), std::string::npos);
    std::vector<std::uint32_t> whole(4 * 2);
    EXPECT_TRUE(d.System->CaptureScreen({0, 0, 4, 2}, whole));
    EXPECT_EQ(d.Fallback, (std::vector<std::string>{"4x2"}));
    EXPECT_EQ(whole, std::vector<std::uint32_t>(8, 0xFF0000FFu));
  }
}

}  // namespace
