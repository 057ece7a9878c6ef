#pragma once

// Strokes on X11 read around the toolkit: a passive grab of the pointer's
// buttons on the overlay's window, held by a connection of our own, so that
// the press over the window and the motion and release that follow reach
// the program in one read instead of one toolkit event each.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Platform.h"

class TX11StrokeInput {
 public:
  virtual ~TX11StrokeInput() = default;
  // Starts or ends taking presses over the window.
  virtual void Grab(std::uint32_t window, bool on) = 0;
  virtual int Descriptor() const = 0;
  // The reports that arrived, in order. accept is asked about each press
  // that starts a stroke; a stroke it refuses is dropped. A press over a
  // window of the toolkit's own inside the overlay (a button) is never
  // taken: the toolkit has it as usual.
  virtual std::vector<TPointerInput> Take(const std::function<bool(TNativeWindow)>& accept) = 0;
  // Whether reports wait that were read off the descriptor already.
  virtual bool Queued() = 0;
  // Returns once the server has carried out every Draw so far: the
  // toolkit's own connection is served in no set order beside this one.
  virtual void Sync() = 0;
  // Pixels straight into a window of 32 bits a pixel; false for another.
  virtual bool Draw(std::uint32_t window, const TPlatformRect& rect, const std::uint32_t* pixels,
                    std::size_t stride) = 0;
};

// nullptr when the display cannot be reached or has no XInput 2.2.
std::unique_ptr<TX11StrokeInput> CreateX11StrokeInput();
