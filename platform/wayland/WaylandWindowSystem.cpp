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
    // A save reads the screen several times: once the compositor has let one
    // look go unanswered, the next ones of the same save wait only briefly.
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const int bound = start - FUnanswered < std::chrono::seconds(5) ? ShortBound : LongBound;
    if (FOverlay.BeforeCapture) FOverlay.BeforeCapture();
    FOverlay.WaitPresented(bound);
    if (!FOverlay.HasScreenCopy()) return CaptureOtherwise(rect, pixels);
    const bool copied = FOverlay.CaptureOutput(rect, pixels, bound, FCaptureError);
    if (!copied && Clock::now() - start >= std::chrono::milliseconds(bound)) FUnanswered = Clock::now();
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
  std::chrono::steady_clock::time_point FUnanswered;
  std::string FCaptureError;
};

}  // namespace

std::unique_ptr<TWindowSystem> CreateWaylandWindowSystem(TWaylandOverlay& overlay) {
  return std::make_unique<TWaylandWindowSystem>(overlay);
}
