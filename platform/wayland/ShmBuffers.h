#pragma once

// Two shared-memory buffers that take turns: one the compositor may be
// reading, one the program paints. Each remembers what changed in the other
// since it was last shown, so that acquiring it brings it up to date by
// copying only those rectangles.

#include "platform/Platform.h"
#include "platform/WaylandConnection.h"

#include <array>
#include <vector>

struct wl_buffer;
struct wl_shm;

class TShmBuffers {
 public:
  explicit TShmBuffers(wl_shm* shm) : FShm(shm) {}
  ~TShmBuffers() { Reset(); }
  TShmBuffers(const TShmBuffers&) = delete;
  TShmBuffers& operator=(const TShmBuffers&) = delete;

  // A free buffer of that size, brought up to the last presented picture;
  // nullptr pixels when none is free or the memory cannot be had.
  TWaylandPixels Acquire(int width, int height);
  // The acquired buffer, to attach, with the damage it carries; marks it busy
  // until the compositor releases it. Nullptr when none was acquired.
  wl_buffer* TakeForCommit(std::span<const TPlatformRect> damage, std::vector<TPlatformRect>& committed);
  void Reset();

 private:
  struct TBuffer {
    wl_buffer* Buffer = nullptr;
    std::uint32_t* Pixels = nullptr;
    std::size_t Bytes = 0;
    int Width = 0;
    int Height = 0;
    bool Busy = false;
    bool Fresh = true;                   // never painted: all of it is stale
    std::vector<TPlatformRect> Stale;    // changed in the other since shown
  };
  bool Allocate(TBuffer& b, int width, int height);
  void Free(TBuffer& b);

  wl_shm* FShm;
  std::array<TBuffer, 2> FBuffers;
  int FAcquired = -1;
  int FLastShown = -1;
};
