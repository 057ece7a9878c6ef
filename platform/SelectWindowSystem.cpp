#include "platform/Platform.h"

#if KORIVAN_HAVE_X11
std::unique_ptr<TWindowSystem> CreateX11WindowSystem(void* nativeConnection);
#endif
#ifdef _WIN32
std::unique_ptr<TWindowSystem> CreateWin32WindowSystem();
#endif

std::unique_ptr<TWindowSystem> CreateWindowSystem(std::string_view platformName,
                                                  void* nativeConnection) {
#if KORIVAN_HAVE_X11
  if (platformName == "xcb") {
    if (auto x11 = CreateX11WindowSystem(nativeConnection)) return x11;
  }
#elif defined(_WIN32)
  (void)nativeConnection;
  if (platformName == "windows") return CreateWin32WindowSystem();
#else
  (void)platformName;
  (void)nativeConnection;
#endif
  return CreateNullWindowSystem();
}
