// Rebuilding the pen layer from the history, and undo and redo on a long one.
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <memory>
#include <random>

#include "BenchSupport.h"
#include "drawing/PWEngine.h"
#include "drawing/StrokeGeometry.h"
#include "drawing/StrokePen.h"
#include "settings/Settings.h"

namespace {

const QSize kSizes[] = {{3840, 2160}, {1920, 1080}};

// A wandering stroke of n points, on average step pixels apart.
TPolygon Wander(std::mt19937& rng, QSize size, int n, float step) {
  std::uniform_real_distribution<float> u(0, 1);
  TPolygon pts;
  float x = 100 + u(rng) * (size.width() - 200), y = 100 + u(rng) * (size.height() - 200);
  float heading = u(rng) * 6.28f;
  for (int i = 0; i < n; ++i) {
    pts.push_back({x, y});
    heading += (u(rng) - 0.5f) * 0.6f;
    const float d = step * (0.5f + u(rng));
    x = std::clamp(x + d * std::cos(heading), 0.f, float(size.width() - 1));
    y = std::clamp(y + d * std::sin(heading), 0.f, float(size.height() - 1));
  }
  return pts;
}

// Kinds in the given numbers, shuffled; widths 8 to 40.
std::vector<TPWMenuItem> Pens(std::mt19937& rng, int pens, int markers, int rainbows, int arrows, int erasers) {
  std::vector<TPWMenuItem> items;
  std::uniform_real_distribution<float> width(8, 40);
  auto colour = [&] { return 0xFF000000u | static_cast<TAlphaColor>(rng() & 0xFFFFFFu); };
  auto dash = [&] { return static_cast<TStrokeDash>(rng() % 3 == 0 ? 1 + rng() % 4 : 0); };
  for (int i = 0; i < pens; ++i) items.push_back({pwPn, colour(), width(rng), dash()});
  for (int i = 0; i < markers; ++i) items.push_back({pwMk, colour(), width(rng), dash()});
  for (int i = 0; i < rainbows; ++i) items.push_back({i % 2 ? pwRbPn : pwRbMk, 0, width(rng), dash()});
  for (int i = 0; i < arrows; ++i) items.push_back({TPWPenType(pwArPn0 + i % 4), colour(), width(rng), dash()});
  for (int i = 0; i < erasers; ++i) items.push_back({pwEr, 0, width(rng), sdSolid});
  std::shuffle(items.begin(), items.end(), rng);
  return items;
}

void Draw(TPWEngine& e, const TPWMenuItem& pen, const TPolygon& pts) {
  e.SetCrPen(pen);
  e.Press({pts[0].x, pts[0].y});
  for (std::size_t i = 1; i < pts.size(); ++i) e.Move({pts[i].x, pts[i].y});
  e.Release({pts.back().x, pts.back().y});
  e.TakeDirty();
}

// Draws the pens in turn (and every moveEvery strokes a lasso move) until
// the history holds records records.
std::unique_ptr<TPWEngine> Drawn(QSize size, const std::vector<TPWMenuItem>& pens, std::uint32_t seed,
                                 int moveEvery, float step, int records) {
  std::mt19937 rng(seed);
  auto e = std::make_unique<TPWEngine>();
  e->Resize(size);
  e->SetCanWrite(true);
  int k = 0;
  for (std::size_t n = 0; e->History().c() + 1 < records; ++n) {
    const TPWMenuItem& pen = pens[n % pens.size()];
    Draw(*e, pen, Wander(rng, size, 100, step));
    if (e->History().c() + 1 >= records) break;
    if (moveEvery > 0 && ++k % moveEvery == 0) {
      // A lasso loop around a corner of the surface, dragged a little.
      const float x = float(rng() % (size.width() - 600)), y = float(rng() % (size.height() - 600));
      Draw(*e, {pwLasso, 0, 0, sdSolid}, {{x, y}, {x + 600, y}, {x + 600, y + 600}, {x, y + 600}});
      if (!e->SelLines().empty()) {
        const QPointF c = e->SelRF().center();
        e->Press(c);
        e->Move(c + QPointF(40, 25));
        e->Release(c + QPointF(40, 25));
      }
      e->LassoUpdate();
    }
  }
  e->TakeDirty();
  return e;
}

// The literal rebuild: every rainbow and eraser record clears and blends or
// masks the whole scratch and pen layers.
void LiteralReplay(TPWEngine& e, QImage& pen, QImage& scratch, QImage& display) {
  pen.fill(0);
  TRenderStyle style;
  style.MkOpacity = e.MKOpacity();
  style.Smoothing = isSmoothing;
  const TPWRecArray& h = e.History();
  for (int i = 0; i <= h.p(); ++i) {
    const TPWRec& rec = h.Rec()[i];
    if (!rec.IsStroke()) continue;
    const TPWMenuItem& item = rec.Menu;
    const TPolygon raw = h.ResolvedPoints(i);
    const TPolygon pts = style.Smoothing && item.PenType != pwEr ? SmoothPoints(raw) : raw;
    if (IsRainbow(item.PenType)) {
      scratch.fill(0);
      {
        QPainter s(&scratch);
        s.setRenderHint(QPainter::Antialiasing, true);
        for (std::size_t k = 0; k + 1 < pts.size(); ++k) {
          s.setPen(StrokePen(RainbowSegmentColor(int(k)), item.PenThickness, item.PenDash));
          s.drawLine(QPointF(pts[k].x, pts[k].y), QPointF(pts[k + 1].x, pts[k + 1].y));
        }
      }
      QPainter p(&pen);
      p.setOpacity(item.PenType == pwRbMk ? style.MkOpacity : 1.0);
      p.drawImage(0, 0, scratch);
    } else if (item.PenType == pwEr) {
      scratch.fill(0xFFFFFFFF);
      {
        QPainter s(&scratch);
        s.setRenderHint(QPainter::Antialiasing, true);
        s.setPen(StrokePen(0xFF000000, item.PenThickness, sdSolid));
        s.drawPath(PolylinePath(pts));
      }
      AndMask(pen, scratch, pen.rect());
    } else {
      QPainter p(&pen);
      p.setRenderHint(QPainter::Antialiasing, true);
      p.setOpacity(IsMarkerKind(item.PenType) ? style.MkOpacity : 1.0);
      p.setPen(StrokePen(item.PenColor, item.PenThickness, item.PenDash));
      p.drawPath(IsArrowKind(item.PenType)
                     ? ArrowPath(pts, HasStartHead(item.PenType), item.PenThickness, style.ArrowSize)
                     : PolylinePath(pts));
    }
  }
  QPainter d(&display);
  d.setCompositionMode(QPainter::CompositionMode_Source);
  d.fillRect(display.rect(), QColor::fromRgba(TPWEngine::WriteBackground));
  d.setCompositionMode(QPainter::CompositionMode_SourceOver);
  d.drawImage(0, 0, pen);
}

std::map<std::string, std::string> gNotes;

std::string SizeName(QSize s) { return std::to_string(s.width()) + "x" + std::to_string(s.height()); }

// Points about 4 pixels apart, as a hand moves the pointer (the live drawing
// benchmark's strokes), and 10 apart: strokes two and a half times as long.
constexpr float kSteps4 = 4, kSteps10 = 10;

TPWEngine& ReplayHistory(QSize size, float step) {
  static std::map<std::pair<int, float>, std::unique_ptr<TPWEngine>> engines;
  auto& e = engines[{size.width(), step}];
  if (!e) {
    std::mt19937 rng(5);
    e = Drawn(size, Pens(rng, 150, 60, 30, 30, 30), 17, 0, step, 300);
  }
  return *e;
}

void BM_ReplayBaseline(benchmark::State& state, QSize size, float step) {
  EnsureGuiApp();
  TPWEngine& e = ReplayHistory(size, step);
  QImage pen(size, QImage::Format_ARGB32_Premultiplied), scratch = pen, display = pen;
  for (auto _ : state) LiteralReplay(e, pen, scratch, display);
  e.Replay();
  gNotes["replay same pixels " + SizeName(size) + " step " + std::to_string(int(step))] =
      pen == e.PenBitmap() && display == e.Display() ? "yes" : "NO";
}

void BM_ReplayOurs(benchmark::State& state, QSize size, float step) {
  EnsureGuiApp();
  TPWEngine& e = ReplayHistory(size, step);
  for (auto _ : state) e.Replay();
}

TPWEngine& UndoHistory(QSize size) {
  static std::map<int, std::unique_ptr<TPWEngine>> engines;
  auto& e = engines[size.width()];
  if (!e) {
    std::mt19937 rng(9);
    // Strokes in the proportions of the replay history, a lasso move after
    // every 49th: 1,000 mixed records.
    e = Drawn(size, Pens(rng, 490, 196, 98, 98, 98), 23, 49, kSteps4, 1000);
  }
  return *e;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

int Over(const std::vector<double>& v, double ms) {
  return static_cast<int>(std::count_if(v.begin(), v.end(), [ms](double x) { return x > ms; }));
}

double Since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Steps back through the whole history one undo at a time and forward again
// one redo at a time, as a user holding the key would; every 100th state and
// both ends are checked against a full rebuild (outside the timing).
void BM_UndoWalk(benchmark::State& state, QSize size) {
  EnsureGuiApp();
  TPWEngine& e = UndoHistory(size);
  const int records = e.History().c() + 1;
  std::vector<double> undo, redo;
  std::size_t most = e.UndoCacheBytes();
  char start[200];
  std::snprintf(start, sizeof start, "at the start %.2f MB, %d changes and %d checkpoints every %d records; ",
                e.UndoCacheBytes() / 1e6, e.UndoCacheRecords(), e.UndoCheckpoints(), e.CheckpointStep());
  int checked = 0, same = 0;
  double full = 0;
  // The slowest steps: which record, and of which kind.
  struct TSlow {
    double ms;
    char dir;
    int record;
    bool move;
  };
  std::vector<TSlow> slow;
  auto note = [&](char dir, int record, double ms) {
    slow.push_back({ms, dir, record, e.History().Rec()[record].IsMove()});
  };
  auto check = [&] {
    const QImage stepped = e.PenBitmap().copy();
    const auto t0 = std::chrono::steady_clock::now();
    e.Replay();
    full = std::max(full, Since(t0));
    ++checked;
    same += stepped == e.PenBitmap();
  };
  for (auto _ : state) {
    while (e.History().CanUndo()) {
      const int r = e.History().p();
      const auto t0 = std::chrono::steady_clock::now();
      e.PWUndo();
      undo.push_back(Since(t0));
      note('u', r, undo.back());
      most = std::max(most, e.UndoCacheBytes());
      if (e.History().p() % 100 == 0) check();
    }
    check();
    while (e.History().CanRedo()) {
      const int r = e.History().p() + 1;
      const auto t0 = std::chrono::steady_clock::now();
      e.PWRedo();
      redo.push_back(Since(t0));
      note('r', r, redo.back());
      most = std::max(most, e.UndoCacheBytes());
      if (e.History().p() % 100 == 50) check();
    }
    check();
  }
  const std::size_t endBytes = e.UndoCacheBytes();
  const int endRecords = e.UndoCacheRecords(), endCheckpoints = e.UndoCheckpoints(), endStep = e.CheckpointStep();
  const std::vector<int> endAt = e.CheckpointRecords();
  // After a change of smoothing nothing kept matches the new look: the first
  // undo rebuilds the whole history in one pass, laying checkpoints, the
  // second is bounded. The same for redo after changing it back. Beside
  // them, the plain full Replay of the history in that look, in this run.
  const TPWEngine::TUndoStats before = e.UndoStats();
  isSmoothing = !isSmoothing;
  auto t0 = std::chrono::steady_clock::now();
  e.PWUndo();
  const double firstAfterLook = Since(t0);
  t0 = std::chrono::steady_clock::now();
  e.PWUndo();
  const double secondAfterLook = Since(t0);
  check();
  t0 = std::chrono::steady_clock::now();
  e.Replay();
  const double plainAfterLook = Since(t0);
  isSmoothing = !isSmoothing;
  t0 = std::chrono::steady_clock::now();
  e.PWRedo();
  const double firstRedoAfterLook = Since(t0);
  t0 = std::chrono::steady_clock::now();
  e.PWRedo();
  const double secondRedoAfterLook = Since(t0);
  check();
  t0 = std::chrono::steady_clock::now();
  e.Replay();
  const double plainAfterLookBack = Since(t0);
  const TPWEngine::TUndoStats& after = e.UndoStats();
  const double layer = double(size.width()) * size.height() * 4;
  int moves = 0;
  for (int i = 0; i < records; ++i) moves += e.History().Rec()[i].IsMove();
  state.counters["records"] = records;
  state.counters["moves"] = moves;
  state.counters["undo_median_ms"] = Median(undo);
  state.counters["undo_worst_ms"] = *std::max_element(undo.begin(), undo.end());
  state.counters["redo_median_ms"] = Median(redo);
  state.counters["redo_worst_ms"] = *std::max_element(redo.begin(), redo.end());
  state.counters["most_kept_layers"] = double(most) / layer;
  const std::string n = SizeName(size);
  char line[400];
  std::snprintf(line, sizeof line,
                "undo median %.2f ms, worst %.1f ms; redo median %.2f ms, worst %.1f ms over %zu undos and %zu "
                "redos (%d records, %d moves); steps over 50 ms: %d undos, %d redos",
                Median(undo), *std::max_element(undo.begin(), undo.end()), Median(redo),
                *std::max_element(redo.begin(), redo.end()), undo.size(), redo.size(), records, moves, Over(undo, 50),
                Over(redo, 50));
  gNotes["undo/redo walk " + n] = line;
  std::snprintf(line, sizeof line,
                "first undo %.1f ms, second %.1f ms, plain full Replay %.1f ms (first %.2fx of it); changed back: "
                "first redo %.1f ms, second %.1f ms, plain full Replay %.1f ms (first %.2fx of it); %d whole "
                "passes, %d changes kept by rebuilds",
                firstAfterLook, secondAfterLook, plainAfterLook, firstAfterLook / plainAfterLook, firstRedoAfterLook,
                secondRedoAfterLook, plainAfterLookBack, firstRedoAfterLook / plainAfterLookBack,
                after.FullRebuilds - before.FullRebuilds, after.Captured - before.Captured);
  gNotes["undo after a change of smoothing " + n] = line;
  std::snprintf(line, sizeof line,
                "most %.2f MB of budget %.2f MB (%.3f of a layer, budget %.2f); at the end %.2f MB, %d changes and "
                "%d checkpoints every %d records",
                most / 1e6, e.UndoCacheBudget() / 1e6, most / layer, e.UndoCacheBudget() / layer, endBytes / 1e6, endRecords, endCheckpoints,
                endStep);
  std::string at;
  for (const int r : endAt) {
    at += ' ';
    at += std::to_string(r);
  }
  gNotes["undo/redo memory " + n] = start + std::string(line) + "; checkpoints after records" + at;
  gNotes["undo/redo same pixels as full replay " + n] =
      std::to_string(same) + " of " + std::to_string(checked) + " states checked";
  gNotes["full replay of the history, ms " + n] = std::to_string(full);
  std::sort(slow.begin(), slow.end(), [](const TSlow& a, const TSlow& b) { return a.ms > b.ms; });
  std::string worst;
  for (std::size_t i = 0; i < std::min<std::size_t>(slow.size(), 12); ++i) {
    char one[80];
    std::snprintf(one, sizeof one, "%s%s %d (%s) %.0f ms", i ? ", " : "", slow[i].dir == 'u' ? "undo" : "redo",
                  slow[i].record, slow[i].move ? "move" : "stroke", slow[i].ms);
    worst += one;
  }
  gNotes["undo/redo slowest steps " + n] = worst;
}

// A lasso loop over a sixth of the surface, a drag and the commit, on the
// long history: what a move costs when its strokes lie under many others.
void BM_LassoMove(benchmark::State& state, QSize size) {
  EnsureGuiApp();
  TPWEngine& e = UndoHistory(size);
  const float w = size.width() / 3.f, h = size.height() / 2.f;
  std::vector<double> select, commit;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    Draw(e, {pwLasso, 0, 0, sdSolid}, {{w, h / 2}, {2 * w, h / 2}, {2 * w, 1.5f * h}, {w, 1.5f * h}});
    select.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    if (!e.SelLines().empty()) {
      const QPointF c = e.SelRF().center();
      e.Press(c);
      e.Move(c + QPointF(30, 20));
      e.Release(c + QPointF(30, 20));
    }
    t0 = std::chrono::steady_clock::now();
    e.LassoUpdate();
    commit.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    state.counters["selected"] = double(e.History().Rec()[e.History().p()].Lines.size());
    state.PauseTiming();
    e.PWUndo();  // leave the history as it was
    state.ResumeTiming();
  }
  state.counters["select_ms"] = Median(select);
  state.counters["commit_ms"] = Median(commit);
}

}  // namespace

int main(int argc, char** argv) {
  for (const float step : {kSteps4, kSteps10}) {
    for (const QSize s : kSizes) {
      const std::string tail = SizeName(s) + "/step" + std::to_string(int(step));
      // Processor time of every thread: ours rebuilds bands side by side.
      benchmark::RegisterBenchmark(("Replay300/baseline/" + tail).c_str(), BM_ReplayBaseline, s, step)
          ->Unit(benchmark::kMillisecond)
          ->MeasureProcessCPUTime()
          ->UseRealTime()
          ->Iterations(4);
      benchmark::RegisterBenchmark(("Replay300/ours/" + tail).c_str(), BM_ReplayOurs, s, step)
          ->Unit(benchmark::kMillisecond)
          ->MeasureProcessCPUTime()
          ->UseRealTime()
          ->Iterations(4);
    }
  }
  for (const QSize s : kSizes) {
    benchmark::RegisterBenchmark(("UndoRedoWalk1000/" + SizeName(s)).c_str(), BM_UndoWalk, s)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark(("LassoMove1000/" + SizeName(s)).c_str(), BM_LassoMove, s)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
  }
  benchmark::Initialize(&argc, argv);
  TRecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  for (const float step : {kSteps4, kSteps10}) {
    for (const QSize s : kSizes) {
      const std::string tail = SizeName(s) + "/step" + std::to_string(int(step));
      const double b = reporter.Times["Replay300/baseline/" + tail];
      const double o = reporter.Times["Replay300/ours/" + tail];
      const double bc = reporter.CpuTimes["Replay300/baseline/" + tail];
      const double oc = reporter.CpuTimes["Replay300/ours/" + tail];
      if (b > 0 && o > 0) {
        std::printf("replay of 300 records %s, %d px a point: baseline %.1f ms, ours %.1f ms, %.2fx "
                    "(processor time of all threads %.1f / %.1f ms, %.2fx)\n",
                    SizeName(s).c_str(), int(step), b, o, b / o, bc, oc, bc / oc);
      }
    }
  }
  for (const auto& [k, v] : gNotes) std::printf("%s: %s\n", k.c_str(), v.c_str());
  return 0;
}
