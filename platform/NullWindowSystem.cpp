#include "platform/Platform.h"

namespace {

class TNullWindowSystem final : public TWindowSystem {
 public:
  std::string_view Name() const override { return "null"; }
  void SetInputRegion(TNativeWindow, std::span<const TPlatformRect>) override {}
  void SetFullInput(TNativeWindow) override {}
  TNativeWindow ForegroundWindow() override { return 0; }
  void PlaceTopMost(TNativeWindow, std::span<const TNativeWindow>) override {}
  void PlaceAboveOverlay(TNativeWindow, TNativeWindow) override {}
  void TakeFocus(TNativeWindow) override {}
  void RaiseWindow(TNativeWindow) override {}
  bool KeyPressed(int) override { return false; }
  bool CaptureScreen(const TPlatformRect&, std::span<std::uint32_t>) override { return false; }
};

}  // namespace

std::unique_ptr<TWindowSystem> CreateNullWindowSystem() {
  return std::make_unique<TNullWindowSystem>();
}
