#include "platform/WaylandOverlay.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>
#include <vector>

namespace {

TPlatformRect Intersection(const TPlatformRect& a, const TPlatformRect& b) {
  const int x = std::max(a.X, b.X), y = std::max(a.Y, b.Y);
  const int right = std::min(a.X + a.Width, b.X + b.Width), bottom = std::min(a.Y + a.Height, b.Y + b.Height);
  if (right <= x || bottom <= y) return {};
  return {x, y, right - x, bottom - y};
}

// A surface's output in device pixels, at that corner.
TPlatformRect DevicePlace(const TWaylandOverlay& overlay, int x, int y) {
  const int scale = overlay.OutputScale();
  return {x, y, overlay.Width() * scale, overlay.Height() * scale};
}

class TWaylandWindowSystem final : public TNullWindowSystem {
 public:
  TWaylandWindowSystem(TWaylandOverlay& main, std::function<TWaylandOverlay*(TNativeWindow)> overlayOf,
                       double deviceScale, const std::vector<TWaylandOutputPlace>& others)
      : FOverlay(main),
        FOverlayOf(std::move(overlayOf)),
        FMainPlace(DevicePlace(main, 0, 0)),
        FDeviceScale(deviceScale > 0 ? deviceScale : 1) {
    // The sizes as the toolkit was told them, at start: its screens stay so.
    for (const auto& o : others)
      if (o.Overlay) FOthers.push_back({o.Overlay, DevicePlace(*o.Overlay, o.X, o.Y)});
  }
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

  // The overlay's output, in device pixels, at the origin of the surface;
  // then the other outputs where they lie.
  std::vector<TPlatformRect> Monitors() override {
    if (FOverlay.Width() <= 0) return {};
    std::vector<TPlatformRect> all{DevicePlace(FOverlay, 0, 0)};
    for (const auto& o : FOthers) all.push_back(o.Place);
    return all;
  }

  bool CaptureScreen(const TPlatformRect& rect, std::span<std::uint32_t> pixels) override {
    const TPlatformRect main = DevicePlace(FOverlay, 0, 0);
    if (FOthers.empty() || Intersection(rect, main) == rect) return CaptureMain(rect, pixels);
    return CaptureOutputs(rect, pixels);
  }
  std::string CaptureError() const override { return FCaptureError; }

 private:
  struct TOther {
    TWaylandOverlay* Overlay;
    TPlatformRect Place;
  };
  using Clock = std::chrono::steady_clock;

  // A save reads the screen several times: once the compositor has let one
  // look go unanswered, the next ones of the same save wait only briefly.
  int Bound(Clock::time_point start) const {
    return start - FUnanswered < std::chrono::seconds(5) ? ShortBound : LongBound;
  }

  bool CaptureMain(const TPlatformRect& rect, std::span<std::uint32_t> pixels) {
    // What the program hid a moment ago has to be off the screen before it
    // is read: presented now, and shown by the compositor.
    const auto start = Clock::now();
    const int bound = Bound(start);
    if (FOverlay.BeforeCapture) FOverlay.BeforeCapture();
    FOverlay.WaitPresented(bound);
    if (!FOverlay.HasScreenCopy()) return CaptureOtherwise(rect, pixels);
    const bool copied = FOverlay.CaptureOutput(rect, pixels, bound, FCaptureError);
    if (!copied && Clock::now() - start >= std::chrono::milliseconds(bound)) FUnanswered = Clock::now();
    return copied;
  }

  // Every output that rect covers, each through its own surface's
  // connection, after each surface has shown what the program hid.
  bool CaptureOutputs(const TPlatformRect& rect, std::span<std::uint32_t> pixels) {
    struct TPart {
      TWaylandOverlay* Overlay;
      TPlatformRect Place;
      TPlatformRect Part;
      std::vector<std::uint32_t> Pixels;
    };
    std::vector<TPart> parts;
    const auto add = [&](TWaylandOverlay& overlay, const TPlatformRect& place) {
      if (const TPlatformRect part = Intersection(rect, place); part.Width > 0)
        parts.push_back({&overlay, place, part, {}});
    };
    add(FOverlay, FMainPlace);
    for (const auto& o : FOthers) add(*o.Overlay, o.Place);
    if (!FOverlay.HasScreenCopy()) {
      // The portal pictures the desktop as the compositor arranges it, which
      // is not how the outputs lie here.
      FCaptureError = "several screens are read together only through the compositor's screen copy, which it "
                      "does not offer (no zwlr_screencopy_manager_v1); its Screenshot portal pictures them as the "
                      "compositor arranges them, not as the program does";
      return false;
    }
    for (const auto& p : parts) {
      if (DevicePlace(*p.Overlay, p.Place.X, p.Place.Y) != p.Place) {
        FCaptureError = "a screen changed its size or scale since the program started; start it again to save "
                        "every screen";
        return false;
      }
    }
    const auto start = Clock::now();
    const int bound = Bound(start);
    for (const auto& p : parts)
      if (p.Overlay->BeforeCapture) p.Overlay->BeforeCapture();
    for (const auto& p : parts) p.Overlay->WaitPresented(bound);
    for (auto& p : parts) {
      p.Pixels.resize(static_cast<std::size_t>(p.Part.Width) * static_cast<std::size_t>(p.Part.Height));
      const TPlatformRect local{p.Part.X - p.Place.X, p.Part.Y - p.Place.Y, p.Part.Width, p.Part.Height};
      const auto asked = Clock::now();
      if (!p.Overlay->CaptureOutput(local, p.Pixels, bound, FCaptureError)) {
        if (Clock::now() - asked >= std::chrono::milliseconds(bound)) FUnanswered = Clock::now();
        return false;
      }
    }
    // Only now, so that a failure leaves the pixels as they were.
    std::fill(pixels.begin(), pixels.end(), 0xFF000000u);
    for (const auto& p : parts)
      for (int y = 0; y < p.Part.Height; ++y)
        std::copy_n(p.Pixels.begin() + static_cast<std::ptrdiff_t>(y) * p.Part.Width, p.Part.Width,
                    pixels.begin() + static_cast<std::ptrdiff_t>(p.Part.Y - rect.Y + y) * rect.Width +
                        (p.Part.X - rect.X));
    return true;
  }

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
  TPlatformRect FMainPlace;
  std::vector<TOther> FOthers;
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
                                                         double deviceScale,
                                                         const std::vector<TWaylandOutputPlace>& others) {
  return std::make_unique<TWaylandWindowSystem>(main, std::move(overlayOf), deviceScale, others);
}
