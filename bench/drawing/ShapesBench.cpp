// Lines, boxes, text and badges in the history: a rebuild of 300 mixed
// records against 300 freehand ones, and a keystroke in a text on screen.
#include <QString>
#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

#include "BenchSupport.h"
#include "drawing/PWEngine.h"

namespace {

const QSize kSize(3840, 2160);

TPolygon Wander(std::mt19937& rng, int n) {
  std::uniform_real_distribution<float> u(0, 1);
  TPolygon pts;
  float x = 100 + u(rng) * (kSize.width() - 200), y = 100 + u(rng) * (kSize.height() - 200);
  float heading = u(rng) * 6.28f;
  for (int i = 0; i < n; ++i) {
    pts.push_back({x, y});
    heading += (u(rng) - 0.5f) * 0.6f;
    const float d = 4 * (0.5f + u(rng));
    x = std::clamp(x + d * std::cos(heading), 0.f, float(kSize.width() - 1));
    y = std::clamp(y + d * std::sin(heading), 0.f, float(kSize.height() - 1));
  }
  return pts;
}

void Draw(TPWEngine& e, const TPWMenuItem& pen, const TPolygon& pts, const char* text = nullptr) {
  e.SetCrPen(pen);
  e.Press({pts[0].x, pts[0].y});
  for (std::size_t i = 1; i < pts.size(); ++i) e.Move({pts[i].x, pts[i].y});
  e.Release({pts.back().x, pts.back().y});
  if (text) {
    e.TypeText(QString::fromUtf8(text));
    e.EndText();
  }
  e.TakeDirty();
}

// 300 records: freehand pens and markers only, or with a third of them
// shapes and a sixth text and badges.
std::unique_ptr<TPWEngine> History(bool mixed) {
  std::mt19937 rng(mixed ? 41 : 43);
  std::uniform_real_distribution<float> u(0, 1);
  auto e = std::make_unique<TPWEngine>();
  e->Resize(kSize);
  e->SetCanWrite(true);
  auto colour = [&] { return 0xFF000000u | static_cast<TAlphaColor>(rng() & 0xFFFFFFu); };
  for (int i = 0; e->History().c() + 1 < 300; ++i) {
    const float w = 8 + 32 * u(rng);
    const int slot = mixed ? i % 6 : 0;
    if (slot < 3) {
      Draw(*e, {i % 2 ? pwMk : pwPn, colour(), w, sdSolid}, Wander(rng, 100));
      continue;
    }
    const TPolygon wander = Wander(rng, 2);
    const TPointF a = wander[0];
    const TPointF b{std::clamp(a.x + 600 * (u(rng) - 0.5f), 0.f, 3839.f),
                    std::clamp(a.y + 400 * (u(rng) - 0.5f), 0.f, 2159.f)};
    if (slot < 5) {
      static constexpr TPWPenType shapes[] = {pwLine, pwLineMk, pwRect, pwRectMk, pwEllipse, pwEllipseMk};
      Draw(*e, {shapes[rng() % 6], colour(), w, sdSolid}, {a, b});
    } else if (i % 12 == 5) {
      Draw(*e, {pwText, colour(), 4 + 10 * u(rng), sdSolid}, {a}, "Step 42 here");
    } else {
      Draw(*e, {pwStep, colour(), w, sdSolid}, {a});
    }
  }
  return e;
}

void BM_Replay(benchmark::State& state, bool mixed) {
  EnsureGuiApp();
  static std::unique_ptr<TPWEngine> engines[2];
  auto& e = engines[mixed];
  if (!e) e = History(mixed);
  for (auto _ : state) e->Replay();
}

// One character typed and one taken back, by turns, in a text of a line
// over a drawing of 300 records; the time of one keystroke.
void BM_Keystroke(benchmark::State& state) {
  EnsureGuiApp();
  auto e = History(true);
  Draw(*e, {pwText, 0xFF2050E0, 12, sdSolid}, {{1800, 1000}});
  e->TypeText(QStringLiteral("Step 42: the second row of the table"));
  e->TakeDirty();
  // Each text shown is new: none is found among those already drawn.
  int k = 0;
  for (auto _ : state) {
    if (k % 2 == 0) {
      e->TypeText(QString(QChar(u'a' + (k / 2) % 26)) + QChar(u'a' + (k / 52) % 26));
    } else {
      e->TypeBackspace();
    }
    ++k;
    benchmark::DoNotOptimize(e->TakeDirty());
  }
  e->EndText();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("Replay300/freehand/3840x2160", BM_Replay, false)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(5);
  benchmark::RegisterBenchmark("Replay300/mixed/3840x2160", BM_Replay, true)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(5);
  benchmark::RegisterBenchmark("TextKeystroke/3840x2160", BM_Keystroke)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(200);
  benchmark::Initialize(&argc, argv);
  TRecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double free = reporter.Times["Replay300/freehand/3840x2160"];
  const double mixed = reporter.Times["Replay300/mixed/3840x2160"];
  const double key = reporter.Times["TextKeystroke/3840x2160"];
  std::printf("\nreplay of 300 records at 3840x2160: freehand %.1f ms, mixed (shapes, text, freehand) %.1f ms, "
              "%.2fx (bound 1.5x)\n",
              free, mixed, free > 0 ? mixed / free : 0);
  std::printf("a keystroke in a text on screen: %.3f ms of engine time (bound 2 ms)\n", key);
  return 0;
}
