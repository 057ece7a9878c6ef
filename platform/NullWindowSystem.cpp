#include "platform/Platform.h"

std::unique_ptr<TWindowSystem> CreateNullWindowSystem() {
  return std::make_unique<TNullWindowSystem>();
}

bool TWindowSystem::GrabHotKey(int, const THotKey&) { return false; }
