#include "platform/WaylandOverlay.h"

#include <cmath>
#include <utility>
#include <vector>

namespace {

class TWaylandWindowSystem final : public TNullWindowSystem {
 public:
  TWaylandWindowSystem(std::function<TWaylandOverlay*(TNativeWindow)> overlayOf, double deviceScale)
      : FOverlayOf(std::move(overlayOf)), FDeviceScale(deviceScale > 0 ? deviceScale : 1) {}
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

 private:
  std::function<TWaylandOverlay*(TNativeWindow)> FOverlayOf;
  double FDeviceScale;
};

}  // namespace

std::unique_ptr<TWindowSystem> CreateWaylandWindowSystem(TWaylandOverlay& overlay, double deviceScale) {
  return CreateWaylandWindowSystem([&overlay](TNativeWindow) { return &overlay; }, deviceScale);
}

std::unique_ptr<TWindowSystem> CreateWaylandWindowSystem(std::function<TWaylandOverlay*(TNativeWindow)> overlayOf,
                                                         double deviceScale) {
  return std::make_unique<TWaylandWindowSystem>(std::move(overlayOf), deviceScale);
}
