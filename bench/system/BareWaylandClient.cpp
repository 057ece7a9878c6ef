// The floor of ink latency on a Wayland compositor: a layer surface of the
// overlay layer over the whole output that, while a button is held, fills a
// square at each motion and presents only that square. A grey block at the
// top right stands where the program's corner buttons are, so that the
// driver sees it has started.
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/WaylandOverlay.h"

namespace {

void Fill(const TWaylandPixels& p, const TPlatformRect& r, std::uint32_t argb) {
  for (int y = std::max(0, r.Y); y < std::min(p.Height, r.Y + r.Height); ++y)
    for (int x = std::max(0, r.X); x < std::min(p.Width, r.X + r.Width); ++x) p.Pixels[y * (p.Stride / 4) + x] = argb;
}

}  // namespace

int main() {
  std::string error;
  auto overlay = TWaylandOverlay::Connect(nullptr, error);
  if (!overlay || !overlay->HasLayerShell() || !overlay->CreateSurface(TWaylandKeyboard::None)) {
    std::fprintf(stderr, "no layer surface: %s\n", error.c_str());
    return 1;
  }
  overlay->SetFullInput();
  const auto paint = [&](const TPlatformRect& r, std::uint32_t argb) {
    const TWaylandPixels p = overlay->AcquireBuffer();
    if (!p.Pixels) return;
    Fill(p, r, argb);
    overlay->Present(std::span(&r, 1));
  };
  overlay->Configured = [&] { paint({overlay->Width() - 80, 0, 80, 30}, 0xFF808080); };
  bool down = false;
  overlay->Pointer = [&](const TWaylandPointerEvent& e) {
    if (e.Kind == TWaylandPointerEvent::Press) down = e.Pressed;
    if (e.Kind == TWaylandPointerEvent::Motion && down)
      paint({static_cast<int>(e.X) - 2, static_cast<int>(e.Y) - 2, 5, 5}, 0xFF000000);
  };
  for (;;) {
    if (!overlay->Flush()) return 1;
    pollfd fd{overlay->Descriptor(), POLLIN, 0};
    if (poll(&fd, 1, -1) < 0 || !overlay->ReadEvents()) return 1;
  }
}
