#include "platform/WaylandOverlay.h"

#include <chrono>
#include <cmath>
#include <utility>
#include <vector>

namespace {

class TWaylandWindowSystem final : public TNullWindowSystem {
 public:
  TWaylandWindowSystem(TWaylandOverlay& main, std::function<TWaylandOverlay*(TNativeWindow)> overlayOf,
                       double deviceScale)
      : FOverlay(main), FOverlayOf(std::move(overlayOf)), FDeviceScale(deviceScale > 0 ? deviceScale : 1) {}
  std::string_view Name() const override { return "wayland-layer"; }
  // A window fills the surface it lies on: its pixels are the surface's.
  void SetInputRegion(TNativeWindow window, std::span<const TPlatformRect> rects) override {
    // The surface's pixels, each rectangle grown to whole ones.
    std::vector<TPlatformRect> surface;
    for (const auto& r : rects) {
      const auto x = static_cast<std::int32_t>(std::floor(r.X / FDeviceScale));
      const auto y = static_cast<std::int32_t>(std::floor(r.Y / FDeviceScale));
      surface.push_back({x, y, static_cast<std::int32_t>(std::ceil((r.X + r.Width) / FDeviceScale)) - x,
                         static_cast<std::int32_t>(std::ceil((r.Y + r.Height) / FDeviceScale)) - y});
    }
    if (TWaylandOverlay* overlay = FOverlayOf(window)) overlay->SetInputRegion(surface);
  }
  void SetFullInput(TNativeWindow window) override {
    if (TWaylandOverlay* overlay = FOverlayOf(window)) overlay->SetFullInput();
  }

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
  // The main window's surface: the screen a save reads is its output.
  TWaylandOverlay& FOverlay;
  std::function<TWaylandOverlay*(TNativeWindow)> FOverlayOf;
  double FDeviceScale;
  std::chrono::steady_clock::time_point FUnanswered;
  std::string FCaptureError;
};

}  // namespace

std::unique_ptr<TWindowSystem> CreateWaylandWindowSystem(TWaylandOverlay& overlay, double deviceScale) {
  return CreateWaylandWindowSystem(overlay, [&overlay](TNativeWindow) { return &overlay; }, deviceScale);
}

std::unique_ptr<TWindowSystem> CreateWaylandWindowSystem(TWaylandOverlay& main,
                                                         std::function<TWaylandOverlay*(TNativeWindow)> overlayOf,
                                                         double deviceScale) {
  return std::make_unique<TWaylandWindowSystem>(main, std::move(overlayOf), deviceScale);
}
