#include "platform/WaylandOverlay.h"

#include <cmath>
#include <vector>

namespace {

class TWaylandWindowSystem final : public TNullWindowSystem {
 public:
  TWaylandWindowSystem(TWaylandOverlay& overlay, double deviceScale)
      : FOverlay(overlay), FDeviceScale(deviceScale > 0 ? deviceScale : 1) {}
  std::string_view Name() const override { return "wayland-layer"; }
  void SetInputRegion(TNativeWindow, std::span<const TPlatformRect> rects) override {
    // The surface's pixels, each rectangle grown to whole ones.
    std::vector<TPlatformRect> surface;
    for (const auto& r : rects) {
      const auto x = static_cast<std::int32_t>(std::floor(r.X / FDeviceScale));
      const auto y = static_cast<std::int32_t>(std::floor(r.Y / FDeviceScale));
      surface.push_back({x, y, static_cast<std::int32_t>(std::ceil((r.X + r.Width) / FDeviceScale)) - x,
                         static_cast<std::int32_t>(std::ceil((r.Y + r.Height) / FDeviceScale)) - y});
    }
    FOverlay.SetInputRegion(surface);
  }
  void SetFullInput(TNativeWindow) override { FOverlay.SetFullInput(); }

 private:
  TWaylandOverlay& FOverlay;
  double FDeviceScale;
};

}  // namespace

std::unique_ptr<TWindowSystem> CreateWaylandWindowSystem(TWaylandOverlay& overlay, double deviceScale) {
  return std::make_unique<TWaylandWindowSystem>(overlay, deviceScale);
}
