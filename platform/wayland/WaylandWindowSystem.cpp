#include "platform/WaylandConnection.h"

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
TPlatformRect DevicePlace(const TLayerSurface& surface, int x, int y) {
  const int scale = surface.OutputScale();
  return {x, y, surface.Width() * scale, surface.Height() * scale};
}

class TWaylandWindowSystem final : public TNullWindowSystem {
 public:
  TWaylandWindowSystem(const TWaylandConnection& connection, TLayerSurface& main,
                       std::function<TLayerSurface*(TNativeWindow)> surfaceOf, double deviceScale,
                       const std::vector<TWaylandOutputPlace>& others, TWaylandFallbackCapture fallback)
      : FConnection(connection),
        FMain(main),
        FSurfaceOf(std::move(surfaceOf)),
        FFallbackCapture(std::move(fallback)),
        FMainPlace(DevicePlace(main, 0, 0)),
        FDeviceScale(deviceScale > 0 ? deviceScale : 1) {
    // The sizes as Qt was told them, at start: its screens stay so.
    for (const auto& o : others)
      if (o.Surface) FOthers.push_back({o.Surface, DevicePlace(*o.Surface, o.X, o.Y)});
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
    if (TLayerSurface* to = FSurfaceOf(window)) to->SetInputRegion(surface);
  }
  void SetFullInput(TNativeWindow window) override {
    if (TLayerSurface* surface = FSurfaceOf(window)) surface->SetFullInput();
  }

  // The overlay's output, in device pixels, at the origin of the surface;
  // then the other outputs where they lie.
  std::vector<TPlatformRect> Monitors() override {
    if (FMain.Width() <= 0) return {};
    std::vector<TPlatformRect> all{DevicePlace(FMain, 0, 0)};
    for (const auto& o : FOthers) all.push_back(o.Place);
    return all;
  }

  bool CaptureScreen(const TPlatformRect& rect, std::span<std::uint32_t> pixels) override {
    const TPlatformRect main = DevicePlace(FMain, 0, 0);
    if (FOthers.empty() || Intersection(rect, main) == rect) return CaptureMain(rect, pixels);
    return CaptureOutputs(rect, pixels);
  }
  std::string CaptureError() const override { return FCaptureError; }

 private:
  struct TOther {
    TLayerSurface* Surface;
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
    BeforeCapture(FMain);
    FMain.WaitPresented(bound);
    if (!FConnection.HasScreenCopy()) return CaptureOtherwise(rect, pixels);
    const bool copied = FMain.CaptureOutput(rect, pixels, bound, FCaptureError);
    if (!copied && Clock::now() - start >= std::chrono::milliseconds(bound)) FUnanswered = Clock::now();
    return copied;
  }

  // Every output that rect covers, each through its own surface, after each
  // surface has shown what the program hid.
  bool CaptureOutputs(const TPlatformRect& rect, std::span<std::uint32_t> pixels) {
    struct TPart {
      TLayerSurface* Surface;
      TPlatformRect Place;
      TPlatformRect Part;
      std::vector<std::uint32_t> Pixels;
    };
    std::vector<TPart> parts;
    const auto add = [&](TLayerSurface& overlay, const TPlatformRect& place) {
      if (const TPlatformRect part = Intersection(rect, place); part.Width > 0)
        parts.push_back({&overlay, place, part, {}});
    };
    add(FMain, FMainPlace);
    for (const auto& o : FOthers) add(*o.Surface, o.Place);
    if (!FConnection.HasScreenCopy()) {
      // The portal pictures the desktop as the compositor arranges it, which
      // is not how the outputs lie here.
      FCaptureError = "several screens are read together only through the compositor's screen copy, which it "
                      "does not offer (no zwlr_screencopy_manager_v1); its Screenshot portal pictures them as the "
                      "compositor arranges them, not as the program does";
      return false;
    }
    for (const auto& p : parts) {
      if (DevicePlace(*p.Surface, p.Place.X, p.Place.Y) != p.Place) {
        FCaptureError = "a screen changed its size or scale since the program started; start it again to save "
                        "every screen";
        return false;
      }
    }
    const auto start = Clock::now();
    const int bound = Bound(start);
    for (const auto& p : parts) BeforeCapture(*p.Surface);
    for (const auto& p : parts) p.Surface->WaitPresented(bound);
    for (auto& p : parts) {
      p.Pixels.resize(static_cast<std::size_t>(p.Part.Width) * static_cast<std::size_t>(p.Part.Height));
      const TPlatformRect local{p.Part.X - p.Place.X, p.Part.Y - p.Place.Y, p.Part.Width, p.Part.Height};
      const auto asked = Clock::now();
      if (!p.Surface->CaptureOutput(local, p.Pixels, bound, FCaptureError)) {
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
    if (!FFallbackCapture) {
      FCaptureError = none;
      return false;
    }
    // It pictures the whole screen at every call, maybe with a flash: a save's
    // looks at parts of the screen are not worth that.
    if (output.empty() || rect != output.front()) {
      FCaptureError = none + " for a part of the screen";
      return false;
    }
    if (FFallbackCapture(rect, pixels, FCaptureError)) return true;
    FCaptureError = none + ", and " + FCaptureError;
    return false;
  }

  static constexpr int LongBound = 2000;
  static constexpr int ShortBound = 250;
  static void BeforeCapture(TLayerSurface& surface) {
    if (TLayerSurfaceListener* listener = surface.Listener()) listener->BeforeCapture();
  }

  const TWaylandConnection& FConnection;
  // The main window's surface: the screen a save reads is its output.
  TLayerSurface& FMain;
  std::function<TLayerSurface*(TNativeWindow)> FSurfaceOf;
  TWaylandFallbackCapture FFallbackCapture;
  TPlatformRect FMainPlace;
  std::vector<TOther> FOthers;
  double FDeviceScale;
  std::chrono::steady_clock::time_point FUnanswered;
  std::string FCaptureError;
};

}  // namespace

std::unique_ptr<TWindowSystem> CreateWaylandWindowSystem(const TWaylandConnection& connection, TLayerSurface& main,
                                                         std::function<TLayerSurface*(TNativeWindow)> surfaceOf,
                                                         double deviceScale,
                                                         const std::vector<TWaylandOutputPlace>& others,
                                                         TWaylandFallbackCapture fallback) {
  return std::make_unique<TWaylandWindowSystem>(connection, main, std::move(surfaceOf), deviceScale, others,
                                                std::move(fallback));
}
