// One pointer move of live drawing: the whole stroke redrawn over the whole
// backup (the baseline) against the surface's segment-by-segment drawing.
#include <QPainter>
#include <vector>

#include "BenchSupport.h"
#include "drawing/PWEngine.h"
#include "drawing/StrokeGeometry.h"
#include "drawing/StrokePen.h"

namespace {

struct Kind {
  const char* name;
  TPWMenuItem pen;
};
const Kind kKinds[] = {
    {"pen", {pwPn, 0xFFE01010, 10, sdSolid}},
    {"marker", {pwMk, 0xFF1010E0, 10, sdSolid}},
    {"dashed", {pwPn, 0xFF108010, 10, sdDash}},
    {"rainbow-marker", {pwRbMk, 0, 10, sdSolid}},
    {"eraser", {pwEr, 0, 10, sdSolid}},
};
const QSize kSizes[] = {{3840, 2160}, {1920, 1080}};
const int kLengths[] = {100, 1000, 5000};
constexpr int kOursMoves = 3000;

// What a window repaint of a region costs: the display copied to a backing store.
void Paint(QImage& store, const QImage& display, const QRegion& region) {
  QPainter p(&store);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  for (const QRect& r : region) p.drawImage(r.topLeft(), display, r);
}

// The engine with something on its pen layer, ready to draw.
void Prepare(TPWEngine& e, QSize size) {
  e.Resize(size);
  e.SetCanWrite(true);
  e.SetCrPen({pwPn, 0xFF00A0A0, 20, sdSolid});
  e.Press({50, 50});
  e.Move({float(size.width() - 50), float(size.height() - 50)});
  e.Release({float(size.width() - 50), float(size.height() - 50)});
  e.TakeDirty();
}

void BM_Ours(benchmark::State& state, Kind kind, QSize size, int length) {
  EnsureGuiApp();
  TPWEngine e;
  Prepare(e, size);
  e.SetCrPen(kind.pen);
  QImage store(size, QImage::Format_ARGB32_Premultiplied);
  store.fill(0);
  // Enough points that the timed moves never run out and restart the stroke.
  const int extra = kOursMoves + 1;
  const TPolygon pts = Handwriting(size.width(), size.height(), length + extra);
  e.Press({pts[0].x, pts[0].y});
  for (int i = 1; i < length; ++i) e.Move({pts[i].x, pts[i].y});
  e.TakeDirty();
  int next = length;
  for (auto _ : state) {
    e.Move({pts[next].x, pts[next].y});
    Paint(store, e.Display(), e.TakeDirty());
    ++next;
  }
}

void BM_Baseline(benchmark::State& state, Kind kind, QSize size, int length) {
  EnsureGuiApp();
  TPWEngine e;
  Prepare(e, size);
  const QImage backup = e.Display().copy();
  QImage display(size, QImage::Format_ARGB32_Premultiplied);
  QImage scratch(size, QImage::Format_ARGB32_Premultiplied);
  QImage store(size, QImage::Format_ARGB32_Premultiplied);
  store.fill(0);
  const TPWMenuItem pen = kind.pen;
  const TPolygon pts = Handwriting(size.width(), size.height(), length);
  const QPainterPath path = PolylinePath(pts);
  for (auto _ : state) {
    QPainter p(&display);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(display.rect(), QColor::fromRgba(TPWEngine::WriteBackground));
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.drawImage(0, 0, backup);
    p.setRenderHint(QPainter::Antialiasing, true);
    if (IsRainbow(pen.PenType)) {
      scratch.fill(0);
      QPainter s(&scratch);
      s.setRenderHint(QPainter::Antialiasing, true);
      for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
        s.setPen(StrokePen(RainbowSegmentColor(int(i)), pen.PenThickness, pen.PenDash));
        s.drawLine(QPointF(pts[i].x, pts[i].y), QPointF(pts[i + 1].x, pts[i + 1].y));
      }
      s.end();
      p.setOpacity(e.MKOpacity());
      p.drawImage(0, 0, scratch);
    } else if (pen.PenType == pwEr) {
      p.setOpacity(0.5);
      p.setPen(StrokePen(0xFFFFFFFF, pen.PenThickness, sdSolid));
      p.drawPath(path);
    } else {
      p.setOpacity(pen.PenType == pwMk ? e.MKOpacity() : 1.0);
      p.setPen(StrokePen(pen.PenColor, pen.PenThickness, pen.PenDash));
      p.drawPath(path);
    }
    p.end();
    Paint(store, display, QRegion(display.rect()));
  }
}

std::string Name(const char* who, const Kind& k, QSize s, int n) {
  return std::string("Live/") + who + "/" + k.name + "/" + std::to_string(s.width()) + "x" +
         std::to_string(s.height()) + "/" + std::to_string(n);
}

}  // namespace

int main(int argc, char** argv) {
  for (const Kind& k : kKinds) {
    for (const QSize s : kSizes) {
      for (const int n : kLengths) {
        benchmark::RegisterBenchmark(Name("baseline", k, s, n).c_str(), BM_Baseline, k, s, n)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(n >= 5000 ? 3 : 8);
        // A move costs microseconds: repeated, and the median taken.
        benchmark::RegisterBenchmark(Name("ours", k, s, n).c_str(), BM_Ours, k, s, n)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(kOursMoves)
            ->Repetitions(7)
            ->DisplayAggregatesOnly(true);
      }
    }
  }
  benchmark::Initialize(&argc, argv);
  TRecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\nms per move (wall clock | processor): kind, surface, points: baseline, ours, speed-up\n");
  for (const Kind& k : kKinds) {
    for (const QSize s : kSizes) {
      for (const int n : kLengths) {
        const double b = reporter.Times[Name("baseline", k, s, n)];
        const double o = reporter.Times[Name("ours", k, s, n)];
        const double bc = reporter.CpuTimes[Name("baseline", k, s, n)];
        const double oc = reporter.CpuTimes[Name("ours", k, s, n)];
        if (b <= 0 || o <= 0) continue;
        std::printf("%-15s %4dx%-4d %5d: %9.3f %8.4f %8.0fx | %9.3f %8.4f %8.0fx\n", k.name, s.width(), s.height(), n,
                    b, o, b / o, bc, oc, bc / oc);
      }
    }
    // Processor time: the machine is shared, and waiting is not work.
    const auto ours = [&](QSize s, int n) { return reporter.CpuTimes[Name("ours", k, s, n)]; };
    const double big = ours(kSizes[0], 1000), small = ours(kSizes[1], 1000);
    const double longest = ours(kSizes[0], 5000), shortest = ours(kSizes[0], 100);
    if (big > 0 && small > 0 && longest > 0 && shortest > 0) {
      std::printf("%-15s ours (processor) 3840x2160 / 1920x1080 at 1000 points: %.2f; 5000 / 100 points at 3840x2160: %.2f\n",
                  k.name, big / small, longest / shortest);
    }
  }
  return 0;
}
