// Drives a program on a Wayland compositor as a user's mouse would, through
// the compositor's virtual pointer (wlr-virtual-pointer), and reads the
// screen back through wlr-screencopy, for the whole-system benchmark on sway
// (SwayRows.sh). The loads and the lines printed are XDrive's:
//   stroke POINTS STROKES RATE PROGRAM_PID COMPOSITOR_PID
//   hover EVENTS PROGRAM_PID COMPOSITOR_PID
//   latency RATE POINTS STROKES PROGRAM_PID COMPOSITOR_PID
// with xserver_us=0 (there is none). Drawing is switched on with the corner
// button once the program shows it; the screen is cleared between screens of
// strokes by the command in KORIVAN_WDRIVE_CLEAR.
//   Latency: the time from sending a point to the first composed frame that
// shows its pixel changed; a copy of the probes' row is asked for again as
// soon as the last one came, and the compositor answers at its next frame.

#include <wayland-client.h>

#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <poll.h>
#include <sys/mman.h>

#include <array>
#include <cstring>
#include <memory>

#include "DriveCommon.h"

namespace {

using namespace drive;

constexpr std::uint32_t BtnLeft = 0x110;

wl_display* Display = nullptr;
wl_shm* Shm = nullptr;
wl_seat* Seat = nullptr;
wl_output* Output = nullptr;
zwlr_virtual_pointer_manager_v1* Pointers = nullptr;
zwlr_screencopy_manager_v1* Copies = nullptr;
zwlr_virtual_pointer_v1* Pointer = nullptr;
int Width = 0, Height = 0;

const wl_output_listener OutputListener = {
    .geometry = [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                   const char*, const char*, std::int32_t) {},
    .mode =
        [](void*, wl_output*, std::uint32_t flags, std::int32_t w, std::int32_t h, std::int32_t) {
          if (flags & WL_OUTPUT_MODE_CURRENT) Width = w, Height = h;
        },
    .done = [](void*, wl_output*) {},
    .scale = [](void*, wl_output*, std::int32_t) {},
    .name = nullptr,
    .description = nullptr,
};

const wl_registry_listener Registry = {
    .global =
        [](void*, wl_registry* r, std::uint32_t name, const char* interface, std::uint32_t) {
          const auto is = [&](const wl_interface& i) { return std::strcmp(interface, i.name) == 0; };
          if (is(wl_shm_interface)) {
            Shm = static_cast<wl_shm*>(wl_registry_bind(r, name, &wl_shm_interface, 1));
          } else if (is(wl_seat_interface)) {
            Seat = static_cast<wl_seat*>(wl_registry_bind(r, name, &wl_seat_interface, 1));
          } else if (is(wl_output_interface) && !Output) {
            Output = static_cast<wl_output*>(wl_registry_bind(r, name, &wl_output_interface, 2));
            wl_output_add_listener(Output, &OutputListener, nullptr);
          } else if (is(zwlr_virtual_pointer_manager_v1_interface)) {
            Pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
                wl_registry_bind(r, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
          } else if (is(zwlr_screencopy_manager_v1_interface)) {
            Copies = static_cast<zwlr_screencopy_manager_v1*>(
                wl_registry_bind(r, name, &zwlr_screencopy_manager_v1_interface, 1));
          }
        },
    .global_remove = [](void*, wl_registry*, std::uint32_t) {},
};

std::uint32_t Millis() { return static_cast<std::uint32_t>(Now() * 1000); }

void MoveTo(TPoint p) {
  zwlr_virtual_pointer_v1_motion_absolute(Pointer, Millis(), static_cast<std::uint32_t>(p.x),
                                          static_cast<std::uint32_t>(p.y), static_cast<std::uint32_t>(Width),
                                          static_cast<std::uint32_t>(Height));
  zwlr_virtual_pointer_v1_frame(Pointer);
  wl_display_flush(Display);
}

void Button(bool pressed) {
  zwlr_virtual_pointer_v1_button(Pointer, Millis(), BtnLeft,
                                 pressed ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
  zwlr_virtual_pointer_v1_frame(Pointer);
  wl_display_flush(Display);
}

void Settle(int pid) {
  WaitQuiet(pid);
  wl_display_roundtrip(Display);
}

// One copy of a rectangle of the output, asked for and awaited (Start, then
// Done until it is) or read at once (Grab).
class TCopy {
 public:
  TCopy(int x, int y, int w, int h) : FGrab{x, y, w, h, {}} {
    FFrame = zwlr_screencopy_manager_v1_capture_output_region(Copies, 0, Output, x, y, w, h);
    zwlr_screencopy_frame_v1_add_listener(FFrame, &Listener, this);
    wl_display_flush(Display);
  }
  ~TCopy() {
    zwlr_screencopy_frame_v1_destroy(FFrame);
    if (FBuffer) wl_buffer_destroy(FBuffer);
    if (FPixels) munmap(FPixels, FSize);
  }
  TCopy(const TCopy&) = delete;
  TCopy& operator=(const TCopy&) = delete;
  bool Done() const { return FDone; }
  // The pixels, empty if the compositor refused.
  TGrab Take() {
    if (FOk) {
      FGrab.bits.resize(std::size_t(FGrab.w) * std::size_t(FGrab.h) * 4);
      for (int row = 0; row < FGrab.h; ++row) {
        const int from = FInverted ? FGrab.h - 1 - row : row;
        std::memcpy(&FGrab.bits[std::size_t(row) * std::size_t(FGrab.w) * 4],
                    static_cast<std::uint8_t*>(FPixels) + std::size_t(from) * FStride, std::size_t(FGrab.w) * 4);
      }
    }
    return std::move(FGrab);
  }
  static TGrab Grab(int x, int y, int w, int h) {
    TCopy copy(x, y, w, h);
    while (!copy.Done() && wl_display_dispatch(Display) >= 0) {
    }
    return copy.Take();
  }

 private:
  static const zwlr_screencopy_frame_v1_listener Listener;
  void Buffer(std::uint32_t format, std::uint32_t w, std::uint32_t h, std::uint32_t stride) {
    FStride = stride;
    FSize = std::size_t(stride) * h;
    const int fd = memfd_create("korivan-wdrive", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(FSize)) < 0) {
      FDone = true;
      return;
    }
    FPixels = mmap(nullptr, FSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    wl_shm_pool* pool = wl_shm_create_pool(Shm, fd, static_cast<std::int32_t>(FSize));
    FBuffer = wl_shm_pool_create_buffer(pool, 0, static_cast<std::int32_t>(w), static_cast<std::int32_t>(h),
                                        static_cast<std::int32_t>(stride), format);
    wl_shm_pool_destroy(pool);
    close(fd);
    FGrab.w = std::min<int>(FGrab.w, static_cast<int>(w));
    FGrab.h = std::min<int>(FGrab.h, static_cast<int>(h));
    zwlr_screencopy_frame_v1_copy(FFrame, FBuffer);
  }

  zwlr_screencopy_frame_v1* FFrame = nullptr;
  wl_buffer* FBuffer = nullptr;
  void* FPixels = nullptr;
  std::size_t FSize = 0;
  std::uint32_t FStride = 0;
  bool FInverted = false, FOk = false, FDone = false;
  TGrab FGrab;
};

const zwlr_screencopy_frame_v1_listener TCopy::Listener = {
    .buffer =
        [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t w, std::uint32_t h,
           std::uint32_t stride) { static_cast<TCopy*>(data)->Buffer(format, w, h, stride); },
    .flags =
        [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
          static_cast<TCopy*>(data)->FInverted = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
        },
    .ready =
        [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
          static_cast<TCopy*>(data)->FOk = static_cast<TCopy*>(data)->FDone = true;
        },
    .failed = [](void* data, zwlr_screencopy_frame_v1*) { static_cast<TCopy*>(data)->FDone = true; },
    .damage = nullptr,
    .linux_dmabuf = nullptr,
    .buffer_done = nullptr,
};

// Settles, then has sway compose a frame and settles again: a program that
// waits for its frame callback before presenting what it drew last has had
// its frame, so what a copy reads next is up to date.
void SettleScreen(int pid) {
  Settle(pid);
  TCopy::Grab(0, 0, 1, 1);
  Settle(pid);
}

std::uint32_t PixelAt(TPoint p) {
  const TGrab g = TCopy::Grab(p.x, p.y, 1, 1);
  return g.bits.empty() ? 0 : g.At(p.x, p.y);
}

void ClearScreen(int pid) {
  if (const char* cmd = std::getenv("KORIVAN_WDRIVE_CLEAR"))
    if (std::system(cmd) != 0) std::fprintf(stderr, "clearing failed: %s\n", cmd);
  Settle(pid);
}

// Once the corner buttons show (the backdrop's colour gives way there), the
// drawing switch is clicked.
bool SwitchDrawingOn(int pid) {
  if (pid <= 0) return true;  // no program: the events alone
  const TPoint corner{Width - 45, 15};
  const std::uint32_t backdrop = PixelAt({Width / 3, Height / 2});
  const double end = Now() + 30;
  while (!Differs(PixelAt(corner), backdrop)) {
    if (Now() > end) {
      std::fprintf(stderr, "the program shows no corner buttons\n");
      return false;
    }
    usleep(50000);
  }
  Settle(pid);
  MoveTo(corner);
  usleep(100000);
  Button(true);
  usleep(5000);
  Button(false);
  Settle(pid);
  MoveTo({Width / 2, Height / 2});
  Settle(pid);
  return true;
}

int RunStrokes(int points, int strokes, int rate, const int pids[3]) {
  if (!SwitchDrawingOn(pids[0])) return 1;
  const int rows = Rows(points, Width);
  const int rowsPerScreen = RowsPerScreen(Height);
  TCpu used;
  long long events = 0, drawn = 0;
  double seconds = 0;
  int row = 0;
  for (int s = 0; s < strokes; ++s) {
    if (row + rows > rowsPerScreen) {
      ClearScreen(pids[0]);
      row = 0;
    }
    const std::vector<TPoint> pts = StrokePoints(points, row, Width);
    int x0 = Width, y0 = Height, x1 = 0, y1 = 0;
    for (const TPoint& p : pts) x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
    MoveTo(pts.front());
    SettleScreen(pids[0]);
    const TGrab before = TCopy::Grab(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    const TCpu start = Sample(pids);
    const double t0 = Now();
    TPacer pace(1000000000L / std::max(1, rate));
    Button(true);
    for (std::size_t i = 1; i < pts.size(); ++i) {
      pace.Wait();
      MoveTo(pts[i]);
    }
    pace.Wait();
    Button(false);
    seconds += Now() - t0;
    Settle(pids[0]);
    used += Sample(pids) - start;
    events += static_cast<long long>(pts.size()) + 1;
    SettleScreen(pids[0]);
    const TGrab after = TCopy::Grab(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    if (!before.bits.empty() && !after.bits.empty())
      for (const TPoint& p : pts) drawn += Differs(before.At(p.x, p.y), after.At(p.x, p.y)) ? 1 : 0;
    row += rows;
  }
  Report(events, used, drawn, static_cast<long long>(points) * strokes, seconds);
  return 0;
}

int RunHover(int count, const int pids[3]) {
  if (!SwitchDrawingOn(pids[0])) return 1;
  const int cx = Width / 2, cy = Height / 2;
  const TCpu start = Sample(pids);
  const double t0 = Now();
  TPacer pace;
  for (int i = 0; i < count; ++i) {
    pace.Wait();
    const double a = i * 0.005;
    MoveTo({cx + int(std::lround(400 * std::cos(a))), cy + int(std::lround(300 * std::sin(a)))});
  }
  const double seconds = Now() - t0;
  Settle(pids[0] > 0 ? pids[0] : pids[2]);
  Report(count, Sample(pids) - start, 0, 0, seconds);
  return 0;
}

int RunLatency(int rate, int points, int strokes, const int pids[3]) {
  if (!SwitchDrawingOn(pids[0])) return 1;
  const long period = 1000000000L / std::max(1, rate);
  const int rowsPerScreen = RowsPerScreen(Height);
  std::vector<double> took;
  long long missed = 0, events = 0;
  double seconds = 0;
  int row = 0;
  for (int s = 0; s < strokes; ++s) {
    if (row >= rowsPerScreen) {
      ClearScreen(pids[0]);
      row = 0;
    }
    const int y = kTop + row * kRowPitch;
    const std::vector<TPoint> pts = StraightPoints(points, row, Width);
    MoveTo(pts.front());
    SettleScreen(pids[0]);
    const int w = pts.back().x - kLeft + 1;
    const TGrab before = TCopy::Grab(kLeft, y, w, 1);
    if (before.bits.empty()) return 1;
    std::vector<TProbe> waiting;
    std::unique_ptr<TCopy> copy;
    // Takes what the compositor has sent; a copy that came is checked
    // against the probes and the next one asked for.
    const auto poll = [&](double until) {
      for (;;) {
        while (wl_display_prepare_read(Display) != 0) wl_display_dispatch_pending(Display);
        wl_display_flush(Display);
        pollfd fd{wl_display_get_fd(Display), POLLIN, 0};
        const int ms = std::max(0, int((until - Now()) * 1000));
        if (::poll(&fd, 1, ms) > 0) {
          wl_display_read_events(Display);
        } else {
          wl_display_cancel_read(Display);
        }
        wl_display_dispatch_pending(Display);
        if (copy && copy->Done()) {
          const double now = Now();
          const TGrab row = copy->Take();
          copy.reset();
          for (auto it = waiting.begin(); it != waiting.end();) {
            if (!row.bits.empty() && Differs(it->before, row.At(it->at.x, y))) {
              took.push_back(now - it->sent);
              it = waiting.erase(it);
            } else if (now - it->sent > kGiveUp) {
              ++missed;
              it = waiting.erase(it);
            } else {
              ++it;
            }
          }
        }
        if (!waiting.empty() && !copy) copy = std::make_unique<TCopy>(kLeft, y, w, 1);
        if (Now() >= until || (waiting.empty() && !copy)) return;
      }
    };
    TPacer pace(period);
    const double t0 = Now();
    Button(true);
    for (std::size_t i = 1; i < pts.size(); ++i) {
      const double due = Seconds(pace.Advance());
      if (waiting.empty() && !copy) {
        const timespec t{static_cast<time_t>(due), static_cast<long>((due - std::floor(due)) * 1e9)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr);
      } else {
        poll(due);
      }
      MoveTo(pts[i]);
      if (i % kProbeEvery == 0) {
        waiting.push_back({pts[i], before.At(pts[i].x, y), Now()});
        if (!copy) copy = std::make_unique<TCopy>(kLeft, y, w, 1);
      }
    }
    seconds += Now() - t0;
    events += static_cast<long long>(pts.size());
    while (!waiting.empty() || copy) poll(Now() + 0.05);
    Button(false);
    Settle(pids[0]);
    ++row;
  }
  ReportLatency(std::move(took), missed, events, seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Display = wl_display_connect(nullptr);
  if (!Display) {
    std::fprintf(stderr, "no Wayland compositor\n");
    return 2;
  }
  wl_registry_add_listener(wl_display_get_registry(Display), &Registry, nullptr);
  wl_display_roundtrip(Display);
  wl_display_roundtrip(Display);
  if (!Shm || !Output || !Pointers || !Copies || Width <= 0) {
    std::fprintf(stderr, "the compositor lacks wl_shm, an output, wlr-virtual-pointer or wlr-screencopy\n");
    return 2;
  }
  Pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(Pointers, Seat);
  wl_display_roundtrip(Display);
  const std::string cmd = argc > 1 ? argv[1] : "";
  // Program, no X server, compositor.
  const auto pidsFrom = [&](int first) {
    return std::array<int, 3>{std::atoi(argv[first]), 0, std::atoi(argv[first + 1])};
  };
  if (cmd == "stroke" && argc >= 7)
    return RunStrokes(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), pidsFrom(5).data());
  if (cmd == "hover" && argc >= 5) return RunHover(std::atoi(argv[2]), pidsFrom(3).data());
  if (cmd == "latency" && argc >= 7)
    return RunLatency(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), pidsFrom(5).data());
  std::fprintf(stderr, "usage: %s stroke POINTS STROKES RATE PROGRAM_PID COMPOSITOR_PID | hover EVENTS PIDS | "
               "latency RATE POINTS STROKES PIDS\n", argv[0]);
  return 1;
}
