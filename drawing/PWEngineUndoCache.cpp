// The undo cache: kept changes and checkpoints that make undo and redo a
// copy or a short rebuild instead of a replay of the whole history.
#include "PWEngine.h"

#include <QPainter>
#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "StrokeGeometry.h"
#include "StrokePen.h"

namespace {

constexpr int kFirstCheckpointStep = 16;
constexpr std::size_t kUndoBudget = std::size_t(48) << 20;
constexpr std::size_t kUndoBudgetLayers = 6;
// Records a whole rebuild draws in stretches, laying checkpoints, below its
// target; the rest it draws in one go.
constexpr int kWholePassTail = 64;
// The most records between the checkpoints it lays there, so that the steps
// after it rebuild little.
constexpr int kWholePassStep = 16;

}  // namespace

std::size_t TPWEngine::UndoCacheBudget() const {
  if (FBudget > 0) return FBudget;
  // An amount of memory rather than a number of layers: at a common screen
  // size two layers hold too few checkpoints for every step to be quick. It
  // stays between two layers (a tiny surface) and a few (a large screen,
  // whose peak memory must stay modest).
  const std::size_t layer = std::size_t(FPnBitmap.width()) * std::size_t(FPnBitmap.height()) * 4;
  return std::clamp<std::size_t>(kUndoBudget, 2 * layer, kUndoBudgetLayers * layer);
}

void TPWEngine::SetUndoCacheBudget(std::size_t bytes) {
  FBudget = bytes;
  ThinCheckpoints();
  TrimPatches();
}

int TPWEngine::UndoCacheRecords() const {
  return static_cast<int>(std::count_if(FPatches.begin(), FPatches.end(), [](const auto& p) { return p.has_value(); }));
}

void TPWEngine::StorePatch(int r, TLayerPatch patch) {
  if (r < 0) return;
  if (FPatches.size() <= std::size_t(r)) FPatches.resize(std::size_t(r) + 1);
  auto& slot = FPatches[std::size_t(r)];
  patch.Pack();
  if (slot) FPatchBytes -= slot->Bytes();
  FPatchBytes += patch.Bytes();
  slot = std::move(patch);
  TrimPatches();
}

std::size_t TPWEngine::PatchBudget() const {
  const std::size_t budget = UndoCacheBudget();
  return FCheckpointBytes >= budget ? 0 : budget - FCheckpointBytes;
}

void TPWEngine::TrimPatches() {
  // Over budget, the changes farthest from the present go first; those of
  // the redo side count as twice as far, since redoing a stroke without its
  // kept change only draws that stroke. The changes of lasso moves go last:
  // without one, a step over a move redraws every stroke under the moved
  // ones, and they are few.
  for (const bool spareMoves : {true, false}) {
    std::size_t lo = 0, hi = FPatches.size();
    while (FPatchBytes > PatchBudget() && lo < hi) {
      const int p = FHistory.p();
      const bool dropLow = (p - int(lo)) >= 2 * (int(hi) - 1 - p);
      const std::size_t at = dropLow ? lo++ : --hi;
      auto& victim = FPatches[at];
      if (!victim) continue;
      if (spareMoves && int(at) <= FHistory.c() && FHistory.Rec()[at].IsMove()) continue;
      FPatchBytes -= victim->Bytes();
      victim.reset();
    }
  }
}

void TPWEngine::DropPatchesFrom(int r) {
  for (std::size_t i = std::size_t(std::max(r, 0)); i < FPatches.size(); ++i) {
    if (FPatches[i]) FPatchBytes -= FPatches[i]->Bytes();
  }
  if (FPatches.size() > std::size_t(std::max(r, 0))) FPatches.resize(std::size_t(std::max(r, 0)));
  DropCheckpointsFrom(r);
}

void TPWEngine::DropAllPatches(bool keepStep) {
  FPatches.clear();
  FPatchBytes = 0;
  FCheckpoints.clear();
  FCheckpointBlocks.clear();
  FCheckpointBytes = 0;
  if (!keepStep) FCheckpointStep = kFirstCheckpointStep;
}

void TPWEngine::DropCheckpointsFrom(int r) {
  const auto from = FCheckpoints.lower_bound(r);
  if (from == FCheckpoints.end()) return;
  FCheckpoints.erase(from, FCheckpoints.end());
  CountCheckpointBytes();
}

void TPWEngine::CountCheckpointBytes() {
  FCheckpointBlocks.clear();
  FCheckpointBytes = 0;
  for (const auto& [at, ck] : FCheckpoints) FCheckpointBytes += ck.Bytes(FCheckpointBlocks);
}

void TPWEngine::MaybeCheckpoint() {
  const int p = FHistory.p();
  if (!CheckpointDue(p) || !FSelLines.empty() || !LayerIsCurrent()) return;
  AddCheckpoint(p);
  TrimPatches();
}

void TPWEngine::AddCheckpoint(int at) {
  // Only the blocks the records since the checkpoint below reached differ
  // from it; the rest is shared.
  const auto next = FCheckpoints.lower_bound(at);
  if (next != FCheckpoints.begin()) {
    const auto& [base, ck] = *std::prev(next);
    TTileSet changed(FPnBitmap.size());
    for (int j = base + 1; j <= at; ++j) changed.Add(RecordTiles(j));
    FCheckpoints.insert_or_assign(at, TLayerCheckpoint::Capture(FPnBitmap, &ck, &changed));
  } else {
    FCheckpoints.insert_or_assign(at, TLayerCheckpoint::Capture(FPnBitmap, nullptr, nullptr));
  }
  // A new checkpoint's own blocks are new; the rest are counted already.
  // (Counting all of them anew at every one made a pass laying dozens of
  // checkpoints quadratic.)
  FCheckpointBytes += FCheckpoints.at(at).Bytes(FCheckpointBlocks);
  ThinCheckpoints();
}

bool TPWEngine::CheckpointDue(int r) const {
  if (r < 0 || FCheckpoints.count(r)) return false;
  // Right after a lasso move, so that no rebuild has to draw one: a move
  // redraws every stroke under the moved ones.
  if (r <= FHistory.c() && FHistory.Rec()[r].IsMove()) return true;
  const auto next = FCheckpoints.lower_bound(r);
  const int below = next == FCheckpoints.begin() ? -1 : std::prev(next)->first;
  return r - below >= FCheckpointStep;
}

void TPWEngine::ThinCheckpoints() {
  // Checkpoints take at most three quarters of the budget, the kept changes
  // near the present the rest: a step without a kept change rebuilds from
  // the checkpoint below, so their spacing bounds the slowest step. Past
  // it, the checkpoint whose neighbours lie closest goes (one after a move
  // only when no other is left), so that the longest stretch a rebuild
  // replays grows as little as it can; new ones are laid no closer than
  // the stretch it leaves, or laying and dropping would alternate at every
  // record.
  while (FCheckpointBytes > UndoCacheBudget() / 4 * 3 && !FCheckpoints.empty()) {
    auto victim = FCheckpoints.begin();
    int shortest = std::numeric_limits<int>::max();
    int prev = -1;
    const auto atMove = [this](int r) { return r <= FHistory.c() && FHistory.Rec()[r].IsMove(); };
    const bool onlyMoves = std::all_of(FCheckpoints.begin(), FCheckpoints.end(),
                                       [&](const auto& entry) { return atMove(entry.first); });
    for (auto it = FCheckpoints.begin(); it != FCheckpoints.end(); ++it) {
      const auto next = std::next(it);
      const int after = next == FCheckpoints.end() ? std::max(FHistory.c(), it->first) : next->first;
      if ((onlyMoves || !atMove(it->first)) && after - prev <= shortest) {
        shortest = after - prev;
        victim = it;
      }
      prev = it->first;
    }
    FCheckpoints.erase(victim);
    FCheckpointStep = std::max(FCheckpointStep, shortest);
    CountCheckpointBytes();
  }
}

std::vector<int> TPWEngine::CheckpointRecords() const {
  std::vector<int> at;
  for (const auto& entry : FCheckpoints) at.push_back(entry.first);
  return at;
}

bool TPWEngine::SwapPatch(int r) {
  if (r < 0 || std::size_t(r) >= FPatches.size() || !FPatches[std::size_t(r)]) return false;
  auto& slot = FPatches[std::size_t(r)];
  TLayerPatch other = slot->Recapture(FPnBitmap);
  other.Pack();
  if (!slot->Restore(FPnBitmap)) {
    FPatchBytes -= slot->Bytes();
    slot.reset();
    return false;
  }
  const QRegion changed = slot->Region();
  FPatchBytes -= slot->Bytes();
  FPatchBytes += other.Bytes();
  slot = std::move(other);
  for (const QRect& rect : changed) Compose(rect);
  TrimPatches();
  return true;
}

void TPWEngine::PWUndo() {
  LassoUpdate();
  if (!FHistory.CanUndo()) return;
  const int r = FHistory.p();
  if (LayerIsCurrent() && SwapPatch(r)) {
    FHistory.Undo();
    ++FStats.Swaps;
    return;
  }
  // Without a kept change: keep the present pixels for the redo, rebuild.
  std::optional<TLayerPatch> after;
  if (LayerIsCurrent()) after = TLayerPatch::Capture(FPnBitmap, RecordTiles(r));
  RebuildTo(r - 1);
  if (after) StorePatch(r, std::move(*after));
}

void TPWEngine::RebuildTo(int target) {
  const bool current = LayerIsCurrent();
  int from = -1;
  if (const auto it = FCheckpoints.upper_bound(target); current && it != FCheckpoints.begin()) {
    from = std::prev(it)->first;
  }
  // A layer of another look (nothing kept matches it), or a long way from
  // nothing without a checkpoint: going record by record, keeping changes,
  // would cost many full rebuilds; one banded pass costs one.
  if (!current || (from < 0 && target >= 2 * FCheckpointStep)) {
    RebuildWhole(target);
    return;
  }
  const int present = FHistory.p();
  // The layer differs from the checkpoint only where the records since it
  // drew; elsewhere it already holds the checkpoint's pixels.
  TTileSet area(FPnBitmap.size());
  for (int j = from + 1; j <= present; ++j) area.Add(RecordTiles(j));
  while (FHistory.p() > from) FHistory.Undo();
  if (from < 0) {
    for (const QRect& rect : area.Region()) ClearRect(FPnBitmap, rect);
  } else if (!FCheckpoints.at(from).Restore(FPnBitmap, area)) {
    while (FHistory.p() < target) FHistory.Redo();
    DropAllPatches(true);
    Replay();
    return;
  }
  // Forward record by record, keeping the changes of the stretch below the
  // target that further undo steps will take, and the checkpoints due.
  const int keepFrom = target - std::min(2 * FCheckpointStep, 128);
  std::vector<std::pair<int, TLayerPatch>> kept;
  for (int j = from + 1; j <= target; ++j) {
    FHistory.Redo();
    const TTileSet tiles = RecordTiles(j);
    if (j > keepFrom) kept.emplace_back(j, TLayerPatch::Capture(FPnBitmap, tiles));
    ApplyRecord(j, tiles, false);
    if (CheckpointDue(j)) AddCheckpoint(j);
  }
  ++FStats.Rebuilds;
  if (from >= 0) ++FStats.FromCheckpoint;
  FStats.MostReplayed = std::max(FStats.MostReplayed, target - from);
  FStats.Captured += static_cast<int>(kept.size());
  for (auto& [j, patch] : kept) StorePatch(j, std::move(patch));
  TrimPatches();
  for (const QRect& rect : area.Region()) Compose(rect);
}

void TPWEngine::RebuildWhole(int target, bool compose) {
  // Kept changes of another look are of no use; the step the drawing had
  // grown to still fits the budget in the new one.
  if (!LayerIsCurrent()) DropAllPatches(true);
  while (FHistory.p() > target) FHistory.Undo();
  const int present = FHistory.p();
  FLayerStyle = CurrentStyle();
  FLayerExact = true;
  FPnBitmap.fill(0);
  const QRegion whole(FPnBitmap.rect());
  // The history up to some way below the target is drawn in one go, as a
  // full rebuild does, and kept as a checkpoint; above it, stretches end at
  // the checkpoints due. Within a stretch, the strokes are drawn as the
  // history stands at its end; where a move of the stretch took strokes
  // drawn before it, those tiles are redrawn whole, since there the layer
  // at the stretch's start held them elsewhere. Checkpoints further down
  // would each cost such redrawing and a compression of much of the layer:
  // they are laid when undo goes there.
  while (FHistory.p() >= 0) FHistory.Undo();
  const int fine = std::clamp(FCheckpointStep, 1, kWholePassStep);
  int below = -1;
  while (below < present) {
    const auto next = FCheckpoints.upper_bound(below);
    int end = std::min(present, below < 0 ? std::max(present - kWholePassTail, fine - 1) : below + fine);
    // A checkpoint kept from before (in this look) ends a stretch too.
    if (next != FCheckpoints.end()) end = std::min(end, next->first);
    while (FHistory.p() < end) FHistory.Redo();
    RenderHistory(whole, FLayerStyle, below + 1);
    TTileSet moved(FPnBitmap.size());
    for (int j = below + 1; j <= end; ++j) {
      const TPWRec& rec = FHistory.Rec()[j];
      if (!rec.IsMove()) continue;
      for (const std::int32_t i : rec.Lines) {
        if (i < 0 || i > below || !FHistory.Rec()[i].IsStroke()) continue;
        moved.Add(StrokeTiles(i, j - 1));
        moved.Add(StrokeTiles(i, j));
      }
    }
    if (!moved.Empty()) ReplayTiles(moved, false);
    if (end >= 0 && !FCheckpoints.count(end) && (end < present || CheckpointDue(end))) AddCheckpoint(end);
    below = end;
  }
  ++FStats.Rebuilds;
  ++FStats.FullRebuilds;
  TrimPatches();
  if (compose) PWImageBitmapUpdate();
}

void TPWEngine::ApplyRecord(int r, const TTileSet& tiles, bool compose) {
  const TPWRec& rec = FHistory.Rec()[r];
  if (rec.IsStroke()) {
    const QRect rect = RenderRecord(FPnBitmap, FDLnBitmap, ToDevice(rec.Menu), ToDevice(rec.Points), FLayerStyle,
                                    rec.Text);
    if (compose) Compose(rect);
  } else {
    ReplayTiles(tiles, compose);
  }
}

void TPWEngine::PWRedo() {
  LassoUpdate();
  if (!FHistory.CanRedo()) return;
  const int r = FHistory.p() + 1;
  if (LayerIsCurrent() && SwapPatch(r)) {
    FHistory.Redo();
    MaybeCheckpoint();
    return;
  }
  const bool current = LayerIsCurrent();
  FHistory.Redo();
  if (!current) {
    RebuildWhole(r);
    return;
  }
  // The layer holds the drawing without record r: keep its tiles, then add r.
  const TTileSet tiles = RecordTiles(r);
  StorePatch(r, TLayerPatch::Capture(FPnBitmap, tiles));
  ApplyRecord(r, tiles, true);
  MaybeCheckpoint();
}
