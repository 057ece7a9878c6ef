#include "platform/WaylandOverlay.h"

namespace {

class TWaylandWindowSystem final : public TNullWindowSystem {
 public:
  explicit TWaylandWindowSystem(TWaylandOverlay& overlay) : FOverlay(overlay) {}
  std::string_view Name() const override { return "wayland-layer"; }
  void SetInputRegion(TNativeWindow, std::span<const TPlatformRect> rects) override {
    FOverlay.SetInputRegion(rects);
  }
  void SetFullInput(TNativeWindow) override { FOverlay.SetFullInput(); }

 private:
  TWaylandOverlay& FOverlay;
};

}  // namespace

std::unique_ptr<TWindowSystem> CreateWaylandWindowSystem(TWaylandOverlay& overlay) {
  return std::make_unique<TWaylandWindowSystem>(overlay);
}
