// The floor of ink latency on a Wayland compositor: a layer surface of the
// overlay layer over the whole output that, while a button is held, fills a
// square at each motion and presents only that square. A grey block at the
// top right stands where the program's corner buttons are, so that the
// driver sees it has started.
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/WaylandConnection.h"

namespace {

void Fill(const TWaylandPixels& p, const TPlatformRect& r, std::uint32_t argb) {
  for (int y = std::max(0, r.Y); y < std::min(p.Height, r.Y + r.Height); ++y)
    for (int x = std::max(0, r.X); x < std::min(p.Width, r.X + r.Width); ++x) p.Pixels[y * (p.Stride / 4) + x] = argb;
}

class TInk final : public TLayerSurfaceListener {
 public:
  explicit TInk(TLayerSurface& surface) : FSurface(surface) {}
  void Configured() override { Paint({FSurface.Width() - 80, 0, 80, 30}, 0xFF808080); }
  void Pointer(const TWaylandPointerEvent& e) override {
    if (e.Kind == TWaylandPointerEvent::Press) FDown = e.Pressed;
    if (e.Kind == TWaylandPointerEvent::Motion && FDown)
      Paint({static_cast<int>(e.X) - 2, static_cast<int>(e.Y) - 2, 5, 5}, 0xFF000000);
  }

 private:
  void Paint(const TPlatformRect& r, std::uint32_t argb) {
    const TWaylandPixels p = FSurface.AcquireBuffer(1);
    if (!p.Pixels) return;
    Fill(p, r, argb);
    FSurface.Present(std::span(&r, 1));
  }
  TLayerSurface& FSurface;
  bool FDown = false;
};

}  // namespace

int main() {
  std::string error;
  auto connection = TWaylandConnection::Connect(nullptr, error);
  auto surface = connection ? connection->CreateSurface(TWaylandKeyboard::None) : nullptr;
  if (!surface) {
    std::fprintf(stderr, "no layer surface: %s\n", error.c_str());
    return 1;
  }
  surface->SetFullInput();
  TInk ink(*surface);
  surface->SetListener(&ink);
  for (;;) {
    if (!connection->Flush()) return 1;
    pollfd fd{connection->Descriptor(), POLLIN, 0};
    if (poll(&fd, 1, -1) < 0 || !connection->ReadEvents()) return 1;
  }
}
