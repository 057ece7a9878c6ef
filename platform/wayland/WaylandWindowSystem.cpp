#include "platform/WaylandOverlay.h"

#include <chrono>

namespace {

class TWaylandWindowSystem final : public TNullWindowSystem {
 public:
  explicit TWaylandWindowSystem(TWaylandOverlay& overlay) : FOverlay(overlay) {}
  std::string_view Name() const override { return "wayland-layer"; }
  void SetInputRegion(TNativeWindow, std::span<const TPlatformRect> rects) override {
    FOverlay.SetInputRegion(rects);
  }
  void SetFullInput(TNativeWindow) override { FOverlay.SetFullInput(); }

  // The overlay's output, in device pixels, at the origin of the surface.
  std::vector<TPlatformRect> Monitors() override {
    const int scale = FOverlay.OutputScale();
    if (FOverlay.Width() <= 0) return {};
    return {{0, 0, FOverlay.Width() * scale, FOverlay.Height() * scale}};
  }

  bool CaptureScreen(const TPlatformRect& rect, std::span<std::uint32_t> pixels) override {
    // What the program hid a moment ago has to be off the screen before it
    // is read: presented now, and shown by the compositor.
    if (FOverlay.BeforeCapture) FOverlay.BeforeCapture();
    FOverlay.WaitPresented(FBound);
    if (!FOverlay.HasScreenCopy()) return CaptureOtherwise(rect, pixels);
    const auto start = std::chrono::steady_clock::now();
    const bool copied = FOverlay.CaptureOutput(rect, pixels, FBound, FCaptureError);
    // A save reads the screen several times; once the compositor has let one
    // go unanswered, the next ones wait only briefly until it answers again.
    const bool timedOut = std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(FBound);
    FBound = copied ? LongBound : timedOut ? ShortBound : FBound;
    return copied;
  }
  std::string CaptureError() const override { return FCaptureError; }

 private:
  bool CaptureOtherwise(const TPlatformRect& rect, std::span<std::uint32_t> pixels) {
    const std::vector<TPlatformRect> output = Monitors();
    const std::string none = "the compositor offers no screen capture (no zwlr_screencopy_manager_v1)";
    if (!FOverlay.FallbackCapture) {
      FCaptureError = none;
      return false;
    }
    // It pictures the whole screen at every call, maybe with a flash: a save's
    // looks at parts of the screen are not worth that.
    if (output.empty() || rect != output.front()) {
      FCaptureError = none + " for a part of the screen";
      return false;
    }
    if (FOverlay.FallbackCapture(rect, pixels, FCaptureError)) return true;
    FCaptureError = none + ", and " + FCaptureError;
    return false;
  }

  static constexpr int LongBound = 2000;
  static constexpr int ShortBound = 250;
  TWaylandOverlay& FOverlay;
  int FBound = LongBound;
  std::string FCaptureError;
};

}  // namespace

std::unique_ptr<TWindowSystem> CreateWaylandWindowSystem(TWaylandOverlay& overlay) {
  return std::make_unique<TWaylandWindowSystem>(overlay);
}
