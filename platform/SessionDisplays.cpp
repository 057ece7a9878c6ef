#include "platform/SessionDisplays.h"

#include <cstdlib>

namespace {

bool Named(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

}  // namespace

TSessionDisplays SessionDisplays() {
  return {Named("WAYLAND_DISPLAY") || Named("WAYLAND_SOCKET"), Named("DISPLAY")};
}
