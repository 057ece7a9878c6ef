#include "platform/wayland/ScreenCopy.h"

#include <wayland-client.h>

#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

bool DispatchUntil(wl_display* display, const std::function<bool()>& done, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (wl_display_dispatch_pending(display) < 0) return false;
    if (done()) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    if (wl_display_prepare_read(display) != 0) continue;  // events came in meanwhile
    if (wl_display_flush(display) < 0 && errno != EAGAIN) {
      wl_display_cancel_read(display);
      return false;
    }
    pollfd p{wl_display_get_fd(display), POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left));
    if (ready > 0) {
      if (wl_display_read_events(display) < 0) return false;
    } else {
      wl_display_cancel_read(display);
      if (ready < 0 && errno != EINTR) return false;
    }
  }
}

namespace {

bool IsKnownCaptureFormat(std::uint32_t format) {
  return format == WL_SHM_FORMAT_ARGB8888 || format == WL_SHM_FORMAT_XRGB8888 ||
         format == WL_SHM_FORMAT_ABGR8888 || format == WL_SHM_FORMAT_XBGR8888;
}

// The part of a captured buffer (rows stride bytes apart, bottom row first
// when yInvert) as 0xFFRRGGBB pixels.
void ConvertCapturedPixels(const std::uint8_t* data, int stride, int height, std::uint32_t format, bool yInvert,
                           const TPlatformRect& part, std::span<std::uint32_t> pixels) {
  // Little-endian words: 0xAARRGGBB for the first pair, 0xAABBGGRR for the other.
  const bool swap = format == WL_SHM_FORMAT_ABGR8888 || format == WL_SHM_FORMAT_XBGR8888;
  std::uint32_t* out = pixels.data();
  for (int y = part.Y; y < part.Y + part.Height; ++y) {
    const int row = yInvert ? height - 1 - y : y;
    const std::uint8_t* in = data + static_cast<std::size_t>(row) * static_cast<std::size_t>(stride) +
                             static_cast<std::size_t>(part.X) * 4;
    for (int x = 0; x < part.Width; ++x, in += 4) {
      std::uint32_t v;
      std::memcpy(&v, in, 4);
      if (swap) v = (v & 0x0000FF00u) | (v & 0xFFu) << 16 | (v >> 16 & 0xFFu);
      *out++ = 0xFF000000u | v;
    }
  }
}

struct TFrame {
  std::uint32_t Version = 1;
  bool Offered = false;  // a buffer of a known format was described
  std::uint32_t Format = 0;
  std::uint32_t OtherFormat = 0;  // the last one offered that is not known here
  int Width = 0;
  int Height = 0;
  int Stride = 0;
  bool Described = false;  // every buffer kind was told: the copy may be asked for
  bool YInvert = false;
  bool Ready = false;
  bool Failed = false;
};

const zwlr_screencopy_frame_v1_listener FrameListener = {
    .buffer =
        [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width, std::uint32_t height,
           std::uint32_t stride) {
          auto* f = static_cast<TFrame*>(data);
          if (IsKnownCaptureFormat(format)) {
            f->Offered = true;
            f->Format = format;
            f->Width = static_cast<int>(width);
            f->Height = static_cast<int>(height);
            f->Stride = static_cast<int>(stride);
          } else {
            f->OtherFormat = format;
          }
          // Before version 3 this is the only description.
          if (f->Version < 3) f->Described = true;
        },
    .flags =
        [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
          static_cast<TFrame*>(data)->YInvert = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
        },
    .ready = [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t,
                std::uint32_t) { static_cast<TFrame*>(data)->Ready = true; },
    .failed = [](void* data, zwlr_screencopy_frame_v1*) { static_cast<TFrame*>(data)->Failed = true; },
    .damage = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
    .linux_dmabuf = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {},
    .buffer_done = [](void* data, zwlr_screencopy_frame_v1*) { static_cast<TFrame*>(data)->Described = true; },
};

// A shared-memory buffer for the compositor to write into, gone with the object.
struct TCaptureBuffer {
  wl_buffer* Buffer = nullptr;
  std::uint8_t* Data = nullptr;
  std::size_t Bytes = 0;

  bool Allocate(wl_shm* shm, const TFrame& f) {
    Bytes = static_cast<std::size_t>(f.Stride) * static_cast<std::size_t>(f.Height);
    const int fd = memfd_create("korivan-capture", MFD_CLOEXEC);
    if (fd < 0) return false;
    void* memory = MAP_FAILED;
    if (ftruncate(fd, static_cast<off_t>(Bytes)) == 0)
      memory = mmap(nullptr, Bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory == MAP_FAILED) {
      close(fd);
      return false;
    }
    Data = static_cast<std::uint8_t*>(memory);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(Bytes));
    Buffer = wl_shm_pool_create_buffer(pool, 0, f.Width, f.Height, f.Stride, f.Format);
    wl_shm_pool_destroy(pool);
    close(fd);
    return true;
  }
  ~TCaptureBuffer() {
    if (Buffer) wl_buffer_destroy(Buffer);
    if (Data) munmap(Data, Bytes);
  }
};

int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

bool CopyOutput(const TScreenCopySource& source, const TPlatformRect& rect, std::span<std::uint32_t> pixels,
                int timeoutMs, std::string& error) {
  if (!source.Manager) {
    error = "the compositor offers no screen capture (no zwlr_screencopy_manager_v1)";
    return false;
  }
  if (!source.Output) {
    error = "the compositor names no output to capture";
    return false;
  }
  if (rect.Width <= 0 || rect.Height <= 0 || rect.X < 0 || rect.Y < 0 ||
      pixels.size() != static_cast<std::size_t>(rect.Width) * static_cast<std::size_t>(rect.Height)) {
    error = "the part of the screen asked for is not on it";
    return false;
  }
  // The region is asked for in the output's logical pixels, widened to whole
  // ones; the picture comes in its device pixels.
  const int s = std::max(1, source.Scale);
  const int lx = FloorDiv(rect.X, s), ly = FloorDiv(rect.Y, s);
  const int lw = -FloorDiv(-(rect.X + rect.Width), s) - lx, lh = -FloorDiv(-(rect.Y + rect.Height), s) - ly;
  TFrame f;
  f.Version = source.ManagerVersion;
  TCaptureBuffer buffer;  // outlives the frame, which the compositor may be filling it for
  zwlr_screencopy_frame_v1* frame =
      zwlr_screencopy_manager_v1_capture_output_region(source.Manager, 0, source.Output, lx, ly, lw, lh);
  zwlr_screencopy_frame_v1_add_listener(frame, &FrameListener, &f);
  struct TDestroy {
    zwlr_screencopy_frame_v1* Frame;
    ~TDestroy() { zwlr_screencopy_frame_v1_destroy(Frame); }
  } destroy{frame};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  const auto left = [&] {
    return static_cast<int>(std::max<std::int64_t>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
               .count()));
  };
  const auto unanswered = [&] {
    error = wl_display_get_error(source.Display) != 0
                ? "the compositor closed the connection during the screen capture"
                : "the compositor did not answer the screen capture in time";
    return false;
  };
  if (!DispatchUntil(source.Display, [&] { return f.Described || f.Failed; }, left())) return unanswered();
  if (f.Failed) {
    error = "the compositor refused the screen capture";
    return false;
  }
  if (!f.Offered) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", f.OtherFormat);
    error = std::string("the compositor offers the screen only in a pixel format not read here (") + hex + ")";
    return false;
  }
  const int ox = rect.X - lx * s, oy = rect.Y - ly * s;
  if (f.Stride < f.Width * 4 || f.Width < ox + rect.Width || f.Height < oy + rect.Height) {
    error = "the compositor's picture (" + std::to_string(f.Width) + "x" + std::to_string(f.Height) +
            ") does not cover the screen's " + std::to_string(rect.Width) + "x" + std::to_string(rect.Height);
    return false;
  }
  if (!buffer.Allocate(source.Shm, f)) {
    error = "no memory for the screen capture";
    return false;
  }
  zwlr_screencopy_frame_v1_copy(frame, buffer.Buffer);
  if (!DispatchUntil(source.Display, [&] { return f.Ready || f.Failed; }, left())) return unanswered();
  if (f.Failed) {
    error = "the compositor could not copy the screen";
    return false;
  }
  ConvertCapturedPixels(buffer.Data, f.Stride, f.Height, f.Format, f.YInvert, {ox, oy, rect.Width, rect.Height},
                        pixels);
  error.clear();
  return true;
}
