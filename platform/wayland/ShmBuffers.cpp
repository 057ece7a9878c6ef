#include "platform/wayland/ShmBuffers.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

const wl_buffer_listener BufferListener = {
    .release = [](void* data, wl_buffer* buffer) {
      (void)buffer;
      static_cast<bool*>(data)[0] = false;
    },
};

TPlatformRect Clip(const TPlatformRect& r, int width, int height) {
  const int x0 = std::clamp(r.X, 0, width), y0 = std::clamp(r.Y, 0, height);
  const int x1 = std::clamp(r.X + r.Width, 0, width), y1 = std::clamp(r.Y + r.Height, 0, height);
  return {x0, y0, x1 - x0, y1 - y0};
}

}  // namespace

bool TShmBuffers::Allocate(TBuffer& b, int width, int height) {
  const int stride = width * 4;
  const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
  const int fd = memfd_create("korivan-overlay", MFD_CLOEXEC);
  if (fd < 0) return false;
  if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
    close(fd);
    return false;
  }
  void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (memory == MAP_FAILED) {
    close(fd);
    return false;
  }
  // The buffer keeps the pool's memory; pool and descriptor are not needed after.
  wl_shm_pool* pool = wl_shm_create_pool(FShm, fd, static_cast<std::int32_t>(bytes));
  b.Buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_ARGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  b.Pixels = static_cast<std::uint32_t*>(memory);
  b.Bytes = bytes;
  b.Width = width;
  b.Height = height;
  b.Busy = false;
  b.Fresh = true;
  b.Stale.clear();
  // Busy is the first member the listener may clear, through its own address.
  wl_buffer_add_listener(b.Buffer, &BufferListener, &b.Busy);
  return true;
}

void TShmBuffers::Free(TBuffer& b) {
  if (b.Buffer) wl_buffer_destroy(b.Buffer);
  if (b.Pixels) munmap(b.Pixels, b.Bytes);
  b = TBuffer{};
}

void TShmBuffers::Reset() {
  for (auto& b : FBuffers) Free(b);
  FAcquired = FLastShown = -1;
}

TWaylandPixels TShmBuffers::Acquire(int width, int height) {
  if (width <= 0 || height <= 0) return {};
  if (FAcquired >= 0) {
    TBuffer& b = FBuffers[static_cast<std::size_t>(FAcquired)];
    if (b.Width == width && b.Height == height) return {b.Pixels, b.Width, b.Height, b.Width * 4};
  }
  for (std::size_t i = 0; i < FBuffers.size(); ++i) {
    TBuffer& b = FBuffers[i];
    if (b.Busy) continue;
    if (b.Buffer && (b.Width != width || b.Height != height)) Free(b);
    if (!b.Buffer && !Allocate(b, width, height)) return {};
    // Brought up to the picture last shown, so that only new damage needs painting.
    if (FLastShown >= 0 && FLastShown != static_cast<int>(i)) {
      const TBuffer& shown = FBuffers[static_cast<std::size_t>(FLastShown)];
      if (shown.Width == width && shown.Height == height) {
        if (b.Fresh) {
          std::memcpy(b.Pixels, shown.Pixels, b.Bytes);
        } else {
          for (const auto& r : b.Stale) {
            for (int y = r.Y; y < r.Y + r.Height; ++y) {
              const std::size_t offset = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                         static_cast<std::size_t>(r.X);
              std::memcpy(b.Pixels + offset, shown.Pixels + offset, static_cast<std::size_t>(r.Width) * 4);
            }
          }
        }
        b.Fresh = false;
      }
    }
    b.Stale.clear();
    FAcquired = static_cast<int>(i);
    return {b.Pixels, b.Width, b.Height, b.Width * 4};
  }
  return {};
}

wl_buffer* TShmBuffers::TakeForCommit(std::span<const TPlatformRect> damage,
                                      std::vector<TPlatformRect>& committed) {
  if (FAcquired < 0) return nullptr;
  const auto index = static_cast<std::size_t>(FAcquired);
  TBuffer& b = FBuffers[index];
  committed.clear();
  if (damage.empty()) {
    committed.push_back({0, 0, b.Width, b.Height});
  } else {
    for (const auto& r : damage) {
      const TPlatformRect c = Clip(r, b.Width, b.Height);
      if (c.Width > 0 && c.Height > 0) committed.push_back(c);
    }
  }
  // The other buffer lacks what this one now shows.
  TBuffer& other = FBuffers[1 - index];
  other.Stale.insert(other.Stale.end(), committed.begin(), committed.end());
  if (other.Stale.size() > 64) {  // a whole copy is cheaper than many small ones
    other.Stale.clear();
    other.Fresh = true;
  }
  b.Busy = true;
  b.Fresh = false;
  FLastShown = FAcquired;
  FAcquired = -1;
  return b.Buffer;
}
