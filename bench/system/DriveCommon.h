#pragma once

// What the X11 and the Wayland drivers of the whole-system benchmark share:
// the strokes' shape, pacing, CPU accounting and the line they print.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace drive {

constexpr int kStep = 4;        // pixels along a row between points
constexpr int kAmplitude = 30;  // height of a corner
constexpr int kRowPitch = 50;   // rows apart
constexpr int kLeft = 100;      // clear of the screen edge
constexpr int kRight = 320;     // clear of the corner buttons and the tile column
constexpr int kTop = 60;

struct TPoint {
  int x, y;
};

inline long long CpuTicks(int pid) {
  if (pid <= 0) return 0;
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const auto close = all.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(all.substr(close + 2));
  std::string field;
  long long utime = 0, stime = 0;
  // After the name: state is field 3; utime and stime are fields 14 and 15.
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::atoll(field.c_str());
    if (i == 15) stime = std::atoll(field.c_str());
  }
  return utime + stime;
}

// Waits until the program has used no CPU for 150 ms: it has caught up.
inline void WaitQuiet(int pid) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  long long last = CpuTicks(pid);
  int quiet = 0;
  while (quiet < 3 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const long long now = CpuTicks(pid);
    quiet = now == last ? quiet + 1 : 0;
    last = now;
  }
}

// Paces events on absolute times, so that a late one does not shift the rest.
class TPacer {
 public:
  explicit TPacer(long periodNs = 1000000) : FPeriod(periodNs) { clock_gettime(CLOCK_MONOTONIC, &FNext); }
  // The time the next event is due, without waiting for it.
  const timespec& Advance() {
    FNext.tv_nsec += FPeriod;
    if (FNext.tv_nsec >= 1000000000) {
      FNext.tv_nsec -= 1000000000;
      ++FNext.tv_sec;
    }
    return FNext;
  }
  void Wait() { clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &Advance(), nullptr); }

 private:
  long FPeriod;
  timespec FNext{};
};

inline double Seconds(const timespec& t) { return double(t.tv_sec) + double(t.tv_nsec) * 1e-9; }

inline double Now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return Seconds(t);
}

inline bool Differs(std::uint32_t a, std::uint32_t b) {
  for (int s = 0; s < 24; s += 8) {
    if (std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)) > 24) return true;
  }
  return false;
}

// A rectangle of the screen, 0x00RRGGBB per pixel read from 4-byte pixels.
struct TGrab {
  int x = 0, y = 0, w = 0, h = 0;
  std::vector<std::uint8_t> bits;
  std::uint32_t At(int px, int py) const {
    const std::size_t i = (std::size_t(py - y) * std::size_t(w) + std::size_t(px - x)) * 4;
    return std::uint32_t(bits[i]) | std::uint32_t(bits[i + 1]) << 8 | std::uint32_t(bits[i + 2]) << 16;
  }
};

// CPU ticks of the program, the X server (none on Wayland) and the compositor.
struct TCpu {
  long long prog = 0, xserver = 0, comp = 0;
};

inline TCpu Sample(const int pids[3]) { return {CpuTicks(pids[0]), CpuTicks(pids[1]), CpuTicks(pids[2])}; }

inline TCpu operator-(const TCpu& a, const TCpu& b) { return {a.prog - b.prog, a.xserver - b.xserver, a.comp - b.comp}; }

inline TCpu& operator+=(TCpu& a, const TCpu& b) {
  a.prog += b.prog, a.xserver += b.xserver, a.comp += b.comp;
  return a;
}

inline int PerRow(int screenWidth) { return std::max(2, (screenWidth - kLeft - kRight) / kStep); }

// The rows of one stroke, left to right and back, starting on row `row`.
inline std::vector<TPoint> StrokePoints(int points, int row, int screenWidth) {
  const int perRow = PerRow(screenWidth);
  std::vector<TPoint> out;
  out.reserve(std::size_t(points));
  for (int i = 0; i < points; ++i) {
    const int r = row + i / perRow;
    const int k = i % perRow;
    const int col = (r - row) % 2 == 0 ? k : perRow - 1 - k;
    out.push_back({kLeft + col * kStep, kTop + r * kRowPitch + (i % 2) * kAmplitude});
  }
  return out;
}

inline int Rows(int points, int screenWidth) { return (points + PerRow(screenWidth) - 1) / PerRow(screenWidth); }

inline int RowsPerScreen(int screenHeight) { return (screenHeight - kTop - 40) / kRowPitch; }

// Latency: straight strokes, every kProbeEvery-th point awaited on the screen.
constexpr int kProbeEvery = 25;
constexpr double kGiveUp = 1.0;  // seconds; a probe not shown by then is missed

// A point whose pixel is awaited on the screen.
struct TProbe {
  TPoint at;
  std::uint32_t before;
  double sent;
};

// A straight stroke on row `row`, 6 pixels a point, clear of the corner
// buttons and the tile column.
inline std::vector<TPoint> StraightPoints(int points, int row, int screenWidth) {
  const int y = kTop + row * kRowPitch;
  std::vector<TPoint> pts;
  for (int i = 0; i < points && kLeft + i * 6 <= screenWidth - kRight; ++i) pts.push_back({kLeft + i * 6, y});
  return pts;
}

inline void Report(long long events, const TCpu& used, long long drawn, long long points, double seconds) {
  const double usPerTick = 1e6 / double(sysconf(_SC_CLK_TCK));
  const auto per = [&](long long ticks) { return events ? double(ticks) * usPerTick / double(events) : 0.0; };
  std::printf("events=%lld program_us=%.0f xserver_us=%.0f compositor_us=%.0f drawn=%lld points=%lld rate=%.0f\n",
              events, per(used.prog), per(used.xserver), per(used.comp), drawn, points,
              seconds > 0 ? double(events) / seconds : 0.0);
}

inline void ReportLatency(std::vector<double> took, long long missed, long long events, double seconds) {
  std::sort(took.begin(), took.end());
  const auto at = [&](double q) {
    return took.empty() ? 0.0 : 1000 * took[std::min(took.size() - 1, std::size_t(q * double(took.size())))];
  };
  std::printf("probes=%zu median_ms=%.2f p90_ms=%.2f missed=%lld rate=%.0f\n", took.size(), at(0.5), at(0.9), missed,
              seconds > 0 ? double(events) / seconds : 0.0);
}

}  // namespace drive
