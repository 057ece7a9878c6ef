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

// The virtual key of a key in the toolkit's numbering (Qt::Key values); 0
// when the keyboard has none.
UINT VirtualKey(const THotKey& key) {
  const std::uint32_t k = key.Key;
  if (key.Keypad) {
    if (k >= '0' && k <= '9') return VK_NUMPAD0 + (k - '0');
    switch (k) {
      case '*': return VK_MULTIPLY;
      case '+': return VK_ADD;
      case '-': return VK_SUBTRACT;
      case '.':
      case ',': return VK_DECIMAL;
      case '/': return VK_DIVIDE;
      default: break;
    }
  }
  if ((k >= 'A' && k <= 'Z') || (k >= '0' && k <= '9') || k == ' ') return k;
  if (k >= 0x01000030 && k < 0x01000030 + 24) return VK_F1 + (k - 0x01000030);  // F1..F24
  struct TPair {
    std::uint32_t Key;
    UINT Vk;
  };
  static constexpr TPair Named[] = {
      {0x01000000, VK_ESCAPE}, {0x01000001, VK_TAB},    {0x01000003, VK_BACK},   {0x01000004, VK_RETURN},
      {0x01000005, VK_RETURN}, {0x01000006, VK_INSERT}, {0x01000007, VK_DELETE}, {0x01000008, VK_PAUSE},
      {0x01000009, VK_SNAPSHOT}, {0x0100000b, VK_CLEAR}, {0x01000010, VK_HOME},  {0x01000011, VK_END},
      {0x01000012, VK_LEFT},   {0x01000013, VK_UP},     {0x01000014, VK_RIGHT},  {0x01000015, VK_DOWN},
      {0x01000016, VK_PRIOR},  {0x01000017, VK_NEXT},
  };
  for (const TPair& p : Named)
    if (p.Key == k) return p.Vk;
  // Other characters where the keyboard layout puts them, unshifted.
  if (k > 0x20 && k <= 0xff) {
    const SHORT scan = VkKeyScanW(static_cast<WCHAR>(k));
    if (scan != -1 && (scan >> 8) == 0) return static_cast<UINT>(scan & 0xff);
  }
  return 0;
}

class TWin32WindowSystem final : public TWindowSystem {
 public:
  ~TWin32WindowSystem() override {
    ReleaseHotKeys();
    if (FHotKeyWindow) DestroyWindow(FHotKeyWindow);
  }

  std::string_view Name() const override { return "windows"; }

  // The system drops a key's auto-repeat itself (MOD_NOREPEAT); a press comes
  // as a message to a window of ours that only exists for them.
  bool GrabHotKey(int id, const THotKey& key) override {
    const UINT vk = VirtualKey(key);
    if (vk == 0 || !HotKeyWindow()) return false;
    UINT mods = MOD_NOREPEAT;
    if (key.Modifiers & hmShift) mods |= MOD_SHIFT;
    if (key.Modifiers & hmControl) mods |= MOD_CONTROL;
    if (key.Modifiers & hmAlt) mods |= MOD_ALT;
    if (key.Modifiers & hmMeta) mods |= MOD_WIN;
    if (!RegisterHotKey(FHotKeyWindow, id, mods, vk)) return false;
    FGrabbed.push_back(id);
    return true;
  }

  void ReleaseHotKeys() override {
    for (int id : FGrabbed) UnregisterHotKey(FHotKeyWindow, id);
    FGrabbed.clear();
  }

  std::vector<int> TakeHotKeyPresses() override {
    std::vector<int> pressed;
    pressed.swap(FPresses);
    return pressed;
  }

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

 private:
  HWND HotKeyWindow() {
    if (FHotKeyWindow) return FHotKeyWindow;
    static const bool registered = [] {
      WNDCLASSW c{};
      c.lpfnWndProc = HotKeyProc;
      c.hInstance = GetModuleHandleW(nullptr);
      c.lpszClassName = L"KorivanHotKeys";
      return RegisterClassW(&c) != 0;
    }();
    if (!registered) return nullptr;
    FHotKeyWindow = CreateWindowExW(0, L"KorivanHotKeys", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
    if (FHotKeyWindow) SetWindowLongPtrW(FHotKeyWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return FHotKeyWindow;
  }

  static LRESULT CALLBACK HotKeyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_HOTKEY) {
      if (auto* self = reinterpret_cast<TWin32WindowSystem*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
        self->FPresses.push_back(static_cast<int>(wParam));
        if (self->HotKeyReady) self->HotKeyReady();
      }
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  HWND FHotKeyWindow = nullptr;
  std::vector<int> FGrabbed;
  std::vector<int> FPresses;
};

}  // namespace

std::unique_ptr<TWindowSystem> CreateWin32WindowSystem() {
  return std::make_unique<TWin32WindowSystem>();
}
