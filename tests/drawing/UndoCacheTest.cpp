// Undo, redo and lasso moves step the pen layer by kept changes and bounded
// rebuilds; whatever the path, the layer must equal a full rebuild.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "EngineTestSupport.h"
#include "QtTestApp.h"
#include "drawing/StrokeRender.h"
#include "settings/Settings.h"

namespace {

// The history drawn from nothing, the selected strokes left out.
QImage Rebuilt(const TPWEngine& e) {
  QImage pen(e.Size(), QImage::Format_ARGB32_Premultiplied);
  pen.fill(0);
  QImage scratch = pen;
  TRenderStyle style;
  style.MkOpacity = e.MKOpacity();
  style.Smoothing = isSmoothing;
  const TPWRecArray& h = e.History();
  for (int i = 0; i <= h.p(); ++i) {
    if (!h.Rec()[i].IsStroke()) continue;
    if (std::find(e.SelLines().begin(), e.SelLines().end(), i) != e.SelLines().end()) continue;
    RenderRecord(pen, scratch, h.Rec()[i].Menu, h.ResolvedPoints(i), style, h.Rec()[i].Text);
  }
  return pen;
}

// Any kind of stroke record.
TPWPenType AnyKind(int k) {
  static constexpr TPWPenType kinds[] = {pwPn,   pwMk,     pwEr,   pwRbPn,   pwRbMk,    pwArPn0,     pwArPn1,
                                         pwArMk0, pwArMk1, pwLine, pwLineMk, pwRect,    pwRectMk,    pwEllipse,
                                         pwEllipseMk, pwText, pwStep};
  return kinds[k % std::size(kinds)];
}

// A text record's characters, typed once its caret is placed.
void TypeIfText(TPWEngine& e, int k) {
  if (!e.TextOpen()) return;
  e.TypeText(k % 3 == 0 ? QStringLiteral("Step 42") : QStringLiteral("a\nbc"));
  e.EndText();
}

// A few colours, as a drawing has: the layers compress as a drawing's do.
TAlphaColor PaletteColour(unsigned k) {
  static constexpr TAlphaColor colours[] = {0xFFE02020, 0xFF2050E0, 0xFF20A040, 0xFF101010, 0xFFF0C000, 0xFF8030C0};
  return colours[k % 6];
}

class UndoCacheTest : public ::testing::Test {
 protected:
  void TearDown() override { isSmoothing = true; }
};

TEST_F(UndoCacheTest, RandomEditsAlwaysMatchAFullRebuild) {
  std::mt19937 rng(11);
  auto uni = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
  auto pick = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  TPWEngine e;
  Ready(e, 320, 280);
  int fastSteps = 0;
  for (int op = 0; op < 400; ++op) {
    const int what = pick(0, 99);
    std::string name;
    if (what < 45) {
      name = "stroke";
      TPWMenuItem pen{AnyKind(pick(0, 16)), 0xFF000000u | std::uint32_t(pick(0, 0xFFFFFF)),
                      float(uni(2, 30)), static_cast<TStrokeDash>(pick(0, 4))};
      e.SetCrPen(pen);
      QPointF p(uni(0, 320), uni(0, 280));
      e.Press(p);
      for (int k = pick(0, 10); k > 0; --k) {
        p += QPointF(uni(-60, 60), uni(-60, 60));
        e.Move(p);
      }
      e.Release(p);
      TypeIfText(e, pick(0, 2));
    } else if (what < 60) {
      name = "lasso";
      const double x = uni(0, 250), y = uni(0, 180), w = uni(20, 200), h = uni(20, 150);
      e.SetCrPen({pwLasso, 0, 0, sdSolid});
      e.Press({x, y});
      e.Move({x + w, y});
      e.Move({x + w, y + h});
      e.Move({x, y + h});
      e.Release({x, y + h});
      for (int k = pick(0, 2); k > 0 && !e.SelLines().empty(); --k) {
        const QPointF from = e.SelRF().center();
        e.Press(from);
        e.Move(from + QPointF(uni(-80, 80), uni(-80, 80)));
        e.Release(from + QPointF(pick(0, 3) == 0 ? 0 : uni(-80, 80), uni(-80, 80)));
      }
    } else if (what < 80) {
      name = "undo";
      const int before = e.History().p();
      const int cached = e.UndoCacheRecords();
      e.PWUndo();
      if (e.History().p() < before && cached > 0) ++fastSteps;
    } else if (what < 95) {
      name = "redo";
      e.PWRedo();
    } else if (what < 98) {
      name = "commit";
      e.LassoUpdate();
    } else {
      // A change of smoothing shows at the next rebuild (checked on its own below).
      name = "smoothing";
      isSmoothing = !isSmoothing;
      e.Replay();
    }
    ASSERT_EQ(e.PenBitmap(), Rebuilt(e)) << "after " << name << " at step " << op;
    ASSERT_LE(e.UndoCacheBytes(), e.UndoCacheBudget());
  }
  EXPECT_GT(fastSteps, 20) << "undo never stepped by a kept change";
}

TEST_F(UndoCacheTest, StaysWithinTwoLayersAndFallsBackBeyondThem) {
  isSmoothing = false;
  TPWEngine e;
  Ready(e, 128, 96);
  // Busy strokes over the whole small surface outgrow two layers quickly.
  std::mt19937 rng(3);
  for (int i = 0; i < 60; ++i) {
    std::vector<QPointF> pts;
    for (int k = 0; k < 8; ++k) pts.emplace_back(rng() % 128, rng() % 96);
    e.SetCrPen({pwMk, 0xFF000000u | std::uint32_t(rng() & 0xFFFFFF), 9, sdDot});
    e.Press(pts[0]);
    for (const QPointF& p : pts) e.Move(p);
    e.Release(pts.back());
    ASSERT_LE(e.UndoCacheBytes(), e.UndoCacheBudget());
  }
  EXPECT_LT(e.UndoCacheRecords(), 60) << "the test should outgrow the budget";
  EXPECT_GT(e.UndoCacheRecords(), 0);
  for (int i = 0; i < 60; ++i) {
    e.PWUndo();
    ASSERT_EQ(e.PenBitmap(), Rebuilt(e)) << "undo " << i;
  }
  EXPECT_TRUE(AllTransparent(e.PenBitmap()));
  for (int i = 0; i < 60; ++i) {
    e.PWRedo();
    ASSERT_EQ(e.PenBitmap(), Rebuilt(e)) << "redo " << i;
  }
}

TEST_F(UndoCacheTest, ChangedSmoothingShowsAtTheNextRebuildAndUndoStaysExact) {
  isSmoothing = false;
  TPWEngine e;
  Ready(e, 200, 150);
  Stroke(e, {pwPn, 0xFF0000FF, 6, sdSolid}, {{20, 20}, {100, 120}, {180, 20}});
  const QImage raw = e.PenBitmap().copy();
  isSmoothing = true;
  Stroke(e, {pwMk, 0xFFFF0000, 12, sdSolid}, {{20, 130}, {100, 60}, {180, 130}});
  EXPECT_EQ(e.PenBitmap().pixel(100, 118), raw.pixel(100, 118)) << "the old stroke changed before a rebuild";
  e.PWUndo();
  EXPECT_EQ(e.PenBitmap(), Rebuilt(e)) << "undo after the change must rebuild in the new look";
  EXPECT_NE(e.PenBitmap(), raw);
  e.PWRedo();
  EXPECT_EQ(e.PenBitmap(), Rebuilt(e));
  e.PWUndo();
  EXPECT_EQ(e.PenBitmap(), Rebuilt(e));
}

TEST_F(UndoCacheTest, RebuildInBandsMatchesRecordByRecord) {
  // Enough records and rows that the rebuild is split into bands.
  std::mt19937 rng(5);
  TPWEngine e;
  Ready(e, 300, 400);
  for (int i = 0; i < 80; ++i) {
    const TPWMenuItem pen{static_cast<TPWPenType>(1 + i % 9), 0xFF000000u | std::uint32_t(rng() & 0xFFFFFF),
                          float(4 + rng() % 30), static_cast<TStrokeDash>(rng() % 5)};
    // Wandering strokes that cross the band boundaries (row 200 for two
    // bands; 100, 200 and 300 for four) many times.
    std::vector<QPointF> pts;
    QPointF p(rng() % 300, 150 + rng() % 100);
    for (int k = 0; k < 40; ++k) {
      p += QPointF(int(rng() % 41) - 20, int(rng() % 61) - 30);
      pts.push_back(p);
    }
    e.SetCrPen(pen);
    e.Press(pts[0]);
    for (const QPointF& p : pts) e.Move(p);
    e.Release(pts.back());
  }
  const QImage drawn = e.PenBitmap().copy();
  e.Replay();
  EXPECT_EQ(e.PenBitmap(), drawn);
  EXPECT_EQ(e.PenBitmap(), Rebuilt(e));
}

TEST_F(UndoCacheTest, LargeLassoMoveRebuildsItsTilesInBands) {
  // Many strokes under a tall selection: its tiles are rebuilt in bands.
  std::mt19937 rng(8);
  TPWEngine e;
  Ready(e, 300, 600);
  for (int i = 0; i < 50; ++i) {
    const TPWMenuItem pen{static_cast<TPWPenType>(1 + i % 9), 0xFF000000u | std::uint32_t(rng() & 0xFFFFFF),
                          float(4 + rng() % 20), static_cast<TStrokeDash>(rng() % 5)};
    std::vector<QPointF> pts;
    for (int k = 0; k < 8; ++k) pts.emplace_back(20 + rng() % 260, 20 + rng() % 560);
    e.SetCrPen(pen);
    e.Press(pts[0]);
    for (const QPointF& p : pts) e.Move(p);
    e.Release(pts.back());
  }
  // Short strokes in a tall column, and a lasso around the column.
  for (int y = 30; y < 570; y += 40) Stroke(e, {pwMk, 0xFF2080FF, 12, sdSolid}, {{140, double(y)}, {160, y + 20.0}});
  e.SetCrPen({pwLasso, 0, 0, sdSolid});
  e.Press({120, 10});
  e.Move({180, 10});
  e.Move({180, 595});
  e.Move({120, 595});
  e.Release({120, 595});
  ASSERT_GE(e.SelLines().size(), 14u);
  EXPECT_EQ(e.PenBitmap(), Rebuilt(e)) << "lifting the selection";
  e.Press(e.SelRF().center());
  e.Move(e.SelRF().center() + QPointF(90, -5));
  e.Release(e.SelRF().center() + QPointF(90, -5));
  e.LassoUpdate();
  EXPECT_EQ(e.PenBitmap(), Rebuilt(e)) << "committing the move";
  e.PWUndo();
  EXPECT_EQ(e.PenBitmap(), Rebuilt(e));
  e.PWRedo();
  EXPECT_EQ(e.PenBitmap(), Rebuilt(e));
}

TEST_F(UndoCacheTest, DisplayFollowsTheStep) {
  isSmoothing = false;
  TPWEngine e;
  Ready(e, 200, 100);
  Stroke(e, {pwPn, 0xFF00FF00, 10, sdSolid}, {{20, 50}, {180, 50}});
  e.TakeDirty();
  e.PWUndo();
  const QRegion dirty = e.TakeDirty();
  EXPECT_TRUE(dirty.contains(QPoint(100, 50)));
  EXPECT_LT(dirty.boundingRect().height(), 100) << "the whole surface was repainted";
  EXPECT_EQ(e.Display().pixel(100, 50), qPremultiply(TPWEngine::WriteBackground));
  e.PWRedo();
  EXPECT_EQ(e.Display().pixel(100, 50), 0xFF00FF00u);
}

// Random edits with a budget small enough that most undo steps beyond the
// last few records go through checkpoints and forward rebuilds; changes of
// smoothing and marker opacity in between.
void CheckpointEdits(unsigned seed, int kinds) {
  std::mt19937 rng(seed);
  auto uni = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
  auto pick = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  TPWEngine e;
  Ready(e, 320, 280);
  e.SetUndoCacheBudget(180 * 1024);
  int mostCheckpoints = 0, longest = 0;
  for (int op = 0; op < 450; ++op) {
    // A drawing of some length first, then edits of every kind.
    const int what = op < 100 ? 0 : pick(0, 99);
    std::string name;
    if (what < 55) {
      name = "stroke";
      TPWMenuItem pen{AnyKind(pick(0, kinds - 1)), PaletteColour(unsigned(pick(0, 5))), float(uni(2, 14)),
                      static_cast<TStrokeDash>(pick(0, 4) / 3)};
      e.SetCrPen(pen);
      QPointF p(uni(0, 320), uni(0, 280));
      e.Press(p);
      for (int k = pick(0, 8); k > 0; --k) {
        p += QPointF(uni(-20, 20), uni(-20, 20));
        e.Move(p);
      }
      e.Release(p);
      TypeIfText(e, pick(0, 2));
    } else if (what < 62) {
      name = "lasso move";
      const double x = uni(0, 250), y = uni(0, 180), w = uni(40, 200), h = uni(40, 150);
      e.SetCrPen({pwLasso, 0, 0, sdSolid});
      e.Press({x, y});
      e.Move({x + w, y});
      e.Move({x + w, y + h});
      e.Move({x, y + h});
      e.Release({x, y + h});
      if (!e.SelLines().empty()) {
        const QPointF from = e.SelRF().center();
        e.Press(from);
        e.Move(from + QPointF(uni(-60, 60), uni(-60, 60)));
        e.Release(from + QPointF(uni(-60, 60), uni(-60, 60)));
      }
      e.LassoUpdate();
    } else if (what < 82) {
      name = "undos";
      for (int k = pick(1, 16); k > 0; --k) {
        e.PWUndo();
        ASSERT_EQ(e.PenBitmap(), Rebuilt(e)) << "undo at step " << op << ", p " << e.History().p();
      }
    } else if (what < 95) {
      name = "redos";
      for (int k = pick(1, 12); k > 0; --k) {
        e.PWRedo();
        ASSERT_EQ(e.PenBitmap(), Rebuilt(e)) << "redo at step " << op << ", p " << e.History().p();
      }
    } else if (what < 96) {
      name = "nothing";
    } else {
      // The new look shows at the next rebuild: the undo right after it.
      name = what < 97 ? "smoothing, undo" : "marker opacity, undo";
      if (what < 97) {
        isSmoothing = !isSmoothing;
      } else {
        e.SetMKOpacity(e.MKOpacity() == 0.4f ? 0.7f : 0.4f);
      }
      if (e.History().CanUndo()) {
        e.PWUndo();
      } else {
        e.Replay();
      }
    }
    mostCheckpoints = std::max(mostCheckpoints, e.UndoCheckpoints());
    longest = std::max(longest, e.History().c() + 1);
    ASSERT_EQ(e.PenBitmap(), Rebuilt(e)) << "after " << name << " at step " << op;
    ASSERT_LE(e.UndoCacheBytes(), e.UndoCacheBudget()) << "after " << name << " at step " << op;
  }
  const TPWEngine::TUndoStats& stats = e.UndoStats();
  EXPECT_GT(mostCheckpoints, 1);
  EXPECT_GE(stats.FromCheckpoint, 3) << "the checkpoint path was hardly taken";
  EXPECT_GT(stats.Swaps, 100) << "undo rarely stepped by a kept change";
}

TEST_F(UndoCacheTest, RandomEditsThroughCheckpointsMatchAFullRebuild) { CheckpointEdits(29, 9); }

// Lines, boxes, text and badges among the strokes.
TEST_F(UndoCacheTest, RandomEditsOfEveryKindThroughCheckpointsMatchAFullRebuild) { CheckpointEdits(31, 17); }

// Holding undo down through a long history and redo back up: every state
// exact, within the budget, and no step draws more than the records between
// two checkpoints.
TEST_F(UndoCacheTest, WalkingTheWholeHistoryStaysExactAndBounded) {
  isSmoothing = false;
  std::mt19937 rng(41);
  TPWEngine e;
  Ready(e, 320, 240);  // the budget of two layers
  for (int i = 0; i < 240; ++i) {
    std::vector<QPointF> pts;
    QPointF p(rng() % 320, rng() % 240);
    for (int k = 0; k < 6; ++k) {
      pts.push_back(p);
      p += QPointF(int(rng() % 31) - 15, int(rng() % 31) - 15);
    }
    const TPWMenuItem pen{static_cast<TPWPenType>(1 + i % 9), PaletteColour(rng()), float(3 + rng() % 10),
                          static_cast<TStrokeDash>(rng() % 5 / 3)};
    e.SetCrPen(pen);
    e.Press(pts[0]);
    for (const QPointF& q : pts) e.Move(q);
    e.Release(pts.back());
  }
  ASSERT_GT(e.UndoCheckpoints(), 1);
  ASSERT_LT(e.UndoCacheRecords(), 200) << "the history should outgrow the kept changes";
  // The longest stretch between checkpoints (and below the first).
  int step = 0, below = -1;
  for (const int at : e.CheckpointRecords()) {
    step = std::max(step, at - below);
    below = at;
  }
  step = std::max(step, e.History().p() - below);
  while (e.History().CanUndo()) {
    const int rebuilds = e.UndoStats().Rebuilds;
    e.PWUndo();
    ASSERT_EQ(e.PenBitmap(), Rebuilt(e)) << "undo to " << e.History().p();
    ASSERT_LE(e.UndoCacheBytes(), e.UndoCacheBudget());
    ASSERT_LE(e.UndoStats().Rebuilds - rebuilds, 1);
  }
  EXPECT_TRUE(AllTransparent(e.PenBitmap()));
  EXPECT_LE(e.UndoStats().MostReplayed, step) << "a rebuild went past the nearest checkpoint";
  EXPECT_GT(e.UndoStats().FromCheckpoint, 0);
  // Rebuilds keep the changes of their stretch: far fewer rebuilds than steps.
  EXPECT_LT(e.UndoStats().Rebuilds, 240 / 4);
  while (e.History().CanRedo()) {
    e.PWRedo();
    ASSERT_EQ(e.PenBitmap(), Rebuilt(e)) << "redo to " << e.History().p();
    ASSERT_LE(e.UndoCacheBytes(), e.UndoCacheBudget());
  }
}

// Whatever makes the kept layers stale drops them: a new branch of the
// history, another look, erase-all, a resize.
TEST_F(UndoCacheTest, CheckpointsFollowTheHistoryAndTheLook) {
  isSmoothing = false;
  std::mt19937 rng(47);
  TPWEngine e;
  Ready(e, 200, 160);
  auto scribble = [&](int n) {
    for (int i = 0; i < n; ++i) {
      const QPointF a(rng() % 200, rng() % 160), b = a + QPointF(int(rng() % 41) - 20, int(rng() % 41) - 20);
      Stroke(e, {static_cast<TPWPenType>(1 + i % 5), PaletteColour(rng()), float(3 + rng() % 8), sdSolid},
             {a, (a + b) / 2 + QPointF(9, -7), b});
    }
  };
  auto walk = [&](const char* what) {
    while (e.History().CanUndo()) {
      e.PWUndo();
      ASSERT_EQ(e.PenBitmap(), Rebuilt(e)) << what << ": undo to " << e.History().p();
    }
    while (e.History().CanRedo()) {
      e.PWRedo();
      ASSERT_EQ(e.PenBitmap(), Rebuilt(e)) << what << ": redo to " << e.History().p();
    }
  };
  scribble(150);
  ASSERT_GT(e.UndoCheckpoints(), 1);
  // Back below several checkpoints, then a new branch: their states are gone.
  for (int i = 0; i < 100; ++i) e.PWUndo();
  const int checkpointsBelow = e.UndoCheckpoints();
  scribble(1);
  EXPECT_LT(e.UndoCheckpoints(), checkpointsBelow);
  scribble(60);
  walk("new branch");
  // A lasso move over much of the drawing, then undone and redone through it.
  e.SetCrPen({pwLasso, 0, 0, sdSolid});
  e.Press({10, 10});
  e.Move({150, 10});
  e.Move({150, 150});
  e.Move({10, 150});
  e.Release({10, 150});
  if (!e.SelLines().empty()) {
    e.Press(e.SelRF().center());
    e.Move(e.SelRF().center() + QPointF(30, 5));
    e.Release(e.SelRF().center() + QPointF(30, 5));
  }
  e.LassoUpdate();
  scribble(20);
  walk("lasso move");
  // Another look: the next undo rebuilds in it, and the walk stays exact.
  e.SetMKOpacity(0.8f);
  isSmoothing = true;
  e.PWUndo();
  EXPECT_EQ(e.PenBitmap(), Rebuilt(e)) << "first undo in the new look";
  walk("new look");
  EXPECT_GT(e.UndoCheckpoints(), 0) << "the rebuild in the new look should lay checkpoints again";
  e.EraseAll();
  EXPECT_EQ(e.UndoCacheBytes(), 0u);
  EXPECT_EQ(e.UndoCheckpoints(), 0);
  scribble(40);
  EXPECT_GT(e.UndoCacheBytes(), 0u);
  e.Resize(QSizeF(180, 150));
  EXPECT_EQ(e.UndoCacheBytes(), 0u);
  EXPECT_EQ(e.UndoCheckpoints(), 0);
}

// Strokes in groups, each group inside one block of its own, the groups
// coming back to the same places later, and a group starting on the record
// a checkpoint is taken at: a checkpoint that shared a block its last record
// changed, or a rebuild that put back too little, shows when a later stroke
// brings the rebuild there.
TEST_F(UndoCacheTest, CheckpointsKeepEveryChangedBlock) {
  isSmoothing = false;
  TPWEngine e;
  Ready(e, 640, 320);
  e.SetUndoCacheBudget(400 * 1024);
  for (int i = 0; i < 400; ++i) {
    const int cell = (i + 1) / 16 % 20;
    const double x = 64.0 * (cell % 10) + 10 + (i % 5) * 5, y = 128.0 * (cell / 10) + 10 + (i % 4) * 5;
    Stroke(e, {static_cast<TPWPenType>(1 + i % 2), PaletteColour(unsigned(i)), 8, sdSolid},
           {{x, y}, {x + 18, y + 16}, {x + 4, y + 26}});
  }
  ASSERT_GT(e.UndoCheckpoints(), 1);
  while (e.History().CanUndo()) {
    e.PWUndo();
    ASSERT_EQ(e.PenBitmap(), Rebuilt(e)) << "undo to " << e.History().p();
  }
  EXPECT_GT(e.UndoStats().FromCheckpoint, 2);
  while (e.History().CanRedo()) e.PWRedo();
  EXPECT_EQ(e.PenBitmap(), Rebuilt(e));
}

// After a change of look nothing kept matches; the first undo (or redo) must
// cost one pass over the history, not a record-by-record rebuild keeping
// every change, yet lay checkpoints so that the steps after it stay bounded.
TEST_F(UndoCacheTest, FirstStepInANewLookIsOneWholePassLayingCheckpoints) {
  isSmoothing = false;
  std::mt19937 rng(53);
  TPWEngine e;
  Ready(e, 320, 240);
  for (int i = 0; i < 200; ++i) {
    const QPointF a(rng() % 320, rng() % 240), b = a + QPointF(int(rng() % 61) - 30, int(rng() % 61) - 30);
    Stroke(e, {static_cast<TPWPenType>(1 + i % 9), PaletteColour(rng()), float(3 + rng() % 9), sdSolid},
           {a, (a + b) / 2 + QPointF(11, -6), b});
    if (i % 37 == 36) {
      // Lasso moves among the strokes: the pass must put moved strokes where
      // each stretch's end has them.
      e.SetCrPen({pwLasso, 0, 0, sdSolid});
      const double x = rng() % 200, y = rng() % 120;
      e.Press({x, y});
      e.Move({x + 120, y});
      e.Move({x + 120, y + 120});
      e.Move({x, y + 120});
      e.Release({x, y + 120});
      if (!e.SelLines().empty()) {
        const QPointF c = e.SelRF().center();
        e.Press(c);
        e.Move(c + QPointF(25, 15));
        e.Release(c + QPointF(25, 15));
      }
      e.LassoUpdate();
    }
  }
  ASSERT_GT(e.UndoCheckpoints(), 1);
  const int step = e.CheckpointStep();
  struct Case {
    const char* what;
    std::function<void()> changeLook;
    bool undo;
  } cases[] = {
      {"smoothing, undo", [] { isSmoothing = !isSmoothing; }, true},
      {"marker opacity, redo", [&] { e.SetMKOpacity(e.MKOpacity() == 0.5f ? 0.8f : 0.5f); }, false},
      {"smoothing, redo", [] { isSmoothing = !isSmoothing; }, false},
      {"marker opacity, undo", [&] { e.SetMKOpacity(e.MKOpacity() == 0.5f ? 0.8f : 0.5f); }, true},
  };
  for (const Case& c : cases) {
    if (!c.undo) e.PWUndo();  // something to redo
    const TPWEngine::TUndoStats before = e.UndoStats();
    c.changeLook();
    if (c.undo) {
      e.PWUndo();
    } else {
      e.PWRedo();
    }
    const TPWEngine::TUndoStats& after = e.UndoStats();
    ASSERT_EQ(e.PenBitmap(), Rebuilt(e)) << c.what;
    EXPECT_EQ(after.FullRebuilds, before.FullRebuilds + 1) << c.what;
    EXPECT_EQ(after.Rebuilds, before.Rebuilds + 1) << c.what;
    EXPECT_EQ(after.Captured, before.Captured) << c.what << ": the first step kept per-record changes";
    EXPECT_GT(e.UndoCheckpoints(), 1) << c.what;
    EXPECT_GE(e.CheckpointStep(), step) << c.what << ": the step fitted to the drawing was forgotten";
    EXPECT_LE(e.UndoCacheBytes(), e.UndoCacheBudget()) << c.what;
    // The steps after it start from those checkpoints: never a whole pass.
    for (int k = 0; k < 30 && e.History().CanUndo(); ++k) {
      e.PWUndo();
      ASSERT_EQ(e.PenBitmap(), Rebuilt(e)) << c.what << ": undo to " << e.History().p();
    }
    for (int k = 0; k < 30 && e.History().CanRedo(); ++k) {
      e.PWRedo();
      ASSERT_EQ(e.PenBitmap(), Rebuilt(e)) << c.what << ": redo to " << e.History().p();
    }
    EXPECT_EQ(e.UndoStats().FullRebuilds, after.FullRebuilds) << c.what;
    EXPECT_LE(e.UndoStats().MostReplayed, 2 * e.CheckpointStep()) << c.what;
  }
}

// A lasso move redraws every stroke under the moved ones, so no rebuild may
// have to draw one: a checkpoint lies right after each move, and its kept
// change outlives those of strokes when the budget is tight.
TEST_F(UndoCacheTest, MovesGetACheckpointAndKeepTheirChange) {
  isSmoothing = false;
  TPWEngine e;
  Ready(e, 320, 240);
  Stroke(e, {pwPn, 0xFF2050E0, 6, sdSolid}, {{40, 40}, {80, 60}});
  for (int i = 0; i < 3; ++i) Stroke(e, {pwPn, PaletteColour(i), 6, sdSolid}, {{150, 100.f + 20 * i}, {300, 110}});
  Stroke(e, {pwLasso, 0, 0, sdSolid}, {{20, 20}, {100, 20}, {100, 80}, {20, 80}});
  ASSERT_FALSE(e.SelLines().empty());
  e.Press(QPointF(60, 50));
  e.Move(QPointF(100, 150));
  e.Release(QPointF(100, 150));
  e.LassoUpdate();
  const int move = e.History().p();
  ASSERT_TRUE(e.History().Rec()[move].IsMove());
  const std::vector<int> at = e.CheckpointRecords();
  EXPECT_NE(std::find(at.begin(), at.end(), move), at.end()) << "no checkpoint after the move";
  // Strokes past the budget: the move's change stays, the stroke ones go.
  e.SetUndoCacheBudget(e.UndoCacheBytes() + 1);
  for (int i = 0; i < 8; ++i) Stroke(e, {pwMk, PaletteColour(i), 12, sdSolid}, {{10, 10.f + 25 * i}, {310, 230}});
  for (int i = 0; i < 8; ++i) e.PWUndo();
  ASSERT_EQ(e.History().p(), move);
  const int swaps = e.UndoStats().Swaps;
  e.PWUndo();
  EXPECT_EQ(e.UndoStats().Swaps, swaps + 1) << "undoing the move rebuilt instead of swapping its kept change";
  EXPECT_EQ(e.PenBitmap(), Rebuilt(e));
}

}  // namespace
