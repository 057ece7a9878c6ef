#include <benchmark/benchmark.h>

#include <random>

#include "drawing/StrokeHistory.h"

namespace {

// 10,000 strokes of 50 points with 1,000 moves of 10 strokes each, interleaved.
TPWRecArray MakeHistory() {
  TPWRecArray h;
  std::mt19937 rng(42);
  const TPWMenuItem pen{pwPn, 0xFFFF0000, 10, sdSolid};
  int strokes = 0;
  for (int k = 0; k < 11000; ++k) {
    if (k % 11 == 10 && strokes > 0) {
      TLines lines;
      std::uniform_int_distribution<int> pick(0, h.p());
      for (int j = 0; j < 10; ++j) {
        int i = pick(rng);
        while (!h.Rec()[i].IsStroke()) i = pick(rng);
        lines.push_back(i);
      }
      h.AddMove(TAr3x3::Translation(3, 4), lines);
    } else {
      TPolygon pts(50);
      for (int j = 0; j < 50; ++j) pts[j] = {float(j * 10), float(strokes % 1000)};
      h.AddStroke(pen, pts);
      ++strokes;
    }
  }
  return h;
}

// The literal resolution: scan every later move's lines for the stroke.
TPolygon LiteralResolvedPoints(const TPWRecArray& h, int i) {
  TPolygon pts = h.Rec()[i].Points;
  if (i >= h.p()) return pts;
  TAr3x3 m = h.Rec()[i].Trans;
  bool moved = false;
  for (int j = i + 1; j <= h.p(); ++j) {
    const TPWRec& r = h.Rec()[j];
    if (!r.IsMove()) continue;
    for (const int l : r.Lines) {
      if (l == i) {
        m = r.Trans * m;
        moved = true;
      }
    }
  }
  if (moved) for (TPointF& q : pts) q = m.Apply(q);
  return pts;
}

// Resolves every stroke once, as a full replay does.
void BM_ResolvedPoints_AllStrokes(benchmark::State& state) {
  const TPWRecArray h = MakeHistory();
  for (auto _ : state) {
    std::size_t n = 0;
    for (int i = 0; i <= h.p(); ++i) {
      if (h.Rec()[i].IsStroke()) n += h.ResolvedPoints(i).size();
    }
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_ResolvedPoints_AllStrokes)->Unit(benchmark::kMillisecond);

void BM_ResolvedPoints_AllStrokes_Literal(benchmark::State& state) {
  const TPWRecArray h = MakeHistory();
  for (auto _ : state) {
    std::size_t n = 0;
    for (int i = 0; i <= h.p(); ++i) {
      if (h.Rec()[i].IsStroke()) n += LiteralResolvedPoints(h, i).size();
    }
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_ResolvedPoints_AllStrokes_Literal)->Unit(benchmark::kMillisecond);

void BM_ResolvedPoints_Single(benchmark::State& state) {
  const TPWRecArray h = MakeHistory();
  int i = 0;
  for (auto _ : state) {
    while (!h.Rec()[i].IsStroke()) i = (i + 1) % (h.p() + 1);
    benchmark::DoNotOptimize(h.ResolvedPoints(i));
    i = (i + 7919) % (h.p() + 1);
  }
}
BENCHMARK(BM_ResolvedPoints_Single);

}  // namespace

BENCHMARK_MAIN();
