#pragma once

// Shortcuts on X11: passive grabs on the root window, on a connection of
// their own whose descriptor the program watches.

#include <memory>
#include <vector>

#include "platform/Platform.h"

class TX11HotKeys {
 public:
  virtual ~TX11HotKeys() = default;
  virtual bool Grab(int id, const THotKey& key) = 0;
  virtual void ReleaseAll() = 0;
  virtual int Descriptor() const = 0;
  virtual std::vector<int> TakePresses() = 0;
};

// nullptr when the display cannot be reached.
std::unique_ptr<TX11HotKeys> CreateX11HotKeys();
