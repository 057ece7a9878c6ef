// Win32. The overlay is a layered window, so the system itself lets the
// pointer through its fully transparent pixels: no input region to keep.

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/Platform.h"

namespace {

HWND Hwnd(TNativeWindow window) { return reinterpret_cast<HWND>(window); }

constexpr UINT KeepGeometry = SWP_NOMOVE | SWP_NOSIZE;

// A screen device context and a top-down 32-bit section to copy it into.
class TScreenCopy {
 public:
  TScreenCopy(int width, int height) : FScreen(GetDC(nullptr)) {
    if (!FScreen) return;
    FMemory = CreateCompatibleDC(FScreen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    FBitmap = CreateDIBSection(FScreen, &info, DIB_RGB_COLORS, &FBits, nullptr, 0);
    if (FMemory && FBitmap) FOld = SelectObject(FMemory, FBitmap);
  }
  ~TScreenCopy() {
    if (FOld) SelectObject(FMemory, FOld);
    if (FBitmap) DeleteObject(FBitmap);
    if (FMemory) DeleteDC(FMemory);
    if (FScreen) ReleaseDC(nullptr, FScreen);
  }
  TScreenCopy(const TScreenCopy&) = delete;
  TScreenCopy& operator=(const TScreenCopy&) = delete;

  // Layered windows (the overlay among them) are part of the screen only with CAPTUREBLT.
  const std::uint32_t* Copy(const TPlatformRect& rect) {
    if (!FOld || !FBits) return nullptr;
    if (!BitBlt(FMemory, 0, 0, rect.Width, rect.Height, FScreen, rect.X, rect.Y,
                SRCCOPY | CAPTUREBLT))
      return nullptr;
    GdiFlush();
    return static_cast<const std::uint32_t*>(FBits);
  }

 private:
  HDC FScreen = nullptr;
  HDC FMemory = nullptr;
  HBITMAP FBitmap = nullptr;
  HGDIOBJ FOld = nullptr;
  void* FBits = nullptr;
};

class TWin32WindowSystem final : public TWindowSystem {
 public:
  std::string_view Name() const override { return "windows"; }

  void SetInputRegion(TNativeWindow, std::span<const TPlatformRect>) override {}
  void SetFullInput(TNativeWindow) override {}

  TNativeWindow ForegroundWindow() override {
    return reinterpret_cast<TNativeWindow>(GetForegroundWindow());
  }

  // The kept windows go into the top-most band after the overlay, in order,
  // so that each ends above it; hidden ones are left where they are.
  void PlaceTopMost(TNativeWindow window, std::span<const TNativeWindow> keepAbove) override {
    const HWND overlay = Hwnd(window);
    if (!IsWindow(overlay)) return;
    SetWindowPos(overlay, HWND_TOPMOST, 0, 0, 0, 0, KeepGeometry | SWP_NOACTIVATE);
    for (TNativeWindow kept : keepAbove) {
      const HWND k = Hwnd(kept);
      if (k != overlay && IsWindow(k) && IsWindowVisible(k))
        SetWindowPos(k, HWND_TOPMOST, 0, 0, 0, 0, KeepGeometry | SWP_NOACTIVATE);
    }
  }

  void PlaceAboveOverlay(TNativeWindow window, TNativeWindow) override {
    const HWND h = Hwnd(window);
    if (!IsWindow(h)) return;
    SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, KeepGeometry);
    TakeFocus(window);
  }

  // Activation on Windows also lifts the window to the top of its band; the
  // top-most overlay stays above the ordinary ones all the same.
  void TakeFocus(TNativeWindow window) override {
    const HWND h = Hwnd(window);
    if (!IsWindow(h)) return;
    if (GetForegroundWindow() != h) SetForegroundWindow(h);
    if (GetWindowThreadProcessId(h, nullptr) == GetCurrentThreadId()) SetFocus(h);
  }

  void RaiseWindow(TNativeWindow window) override {
    const HWND h = Hwnd(window);
    if (!IsWindow(h)) return;
    SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, KeepGeometry);
    SetForegroundWindow(h);
  }

  // The low bit says the key went down since the previous call: a tap
  // between two polls that is already over by the second one.
  bool KeyPressed(int virtualKey) override {
    if (virtualKey < 1 || virtualKey > 254) return false;
    const auto state = static_cast<unsigned short>(GetAsyncKeyState(virtualKey));
    return (state & 0x8001) != 0;
  }

  bool CaptureScreen(const TPlatformRect& rect, std::span<std::uint32_t> pixels) override {
    if (rect.Width <= 0 || rect.Height <= 0 ||
        pixels.size() != static_cast<std::size_t>(rect.Width) * static_cast<std::size_t>(rect.Height))
      return false;
    TScreenCopy screen(rect.Width, rect.Height);
    const std::uint32_t* bits = screen.Copy(rect);
    if (!bits) return false;
    // Bytes blue, green, red, unused: the unused one becomes opaque alpha.
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = 0xFF000000u | (bits[i] & 0x00FFFFFFu);
    return true;
  }
};

}  // namespace

std::unique_ptr<TWindowSystem> CreateWin32WindowSystem() {
  return std::make_unique<TWin32WindowSystem>();
}
