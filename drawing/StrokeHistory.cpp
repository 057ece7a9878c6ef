#include "StrokeHistory.h"

#include <QPainterPath>

TAr3x3 TAr3x3::operator*(const TAr3x3& b) const {
  TAr3x3 r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      float s = 0;
      for (int k = 0; k < 3; ++k) s += m[i * 3 + k] * b.m[k * 3 + j];
      r.m[i * 3 + j] = s;
    }
  }
  return r;
}

TPointF TAr3x3::Apply(TPointF p) const {
  return {m[0] * p.x + m[1] * p.y + m[2], m[3] * p.x + m[4] * p.y + m[5]};
}

TPWRec& TPWRecArray::Append() {
  const int next = FP + 1;
  // Moves in the redo tail are dropped: forget that they listed anything.
  for (int k = next; k <= FC; ++k) {
    if (!FRec[k].IsMove()) continue;
    for (const std::int32_t i : FRec[k].Lines) {
      if (i < 0 || i >= Capacity()) continue;
      auto& moves = FMovesOf[i];
      while (!moves.empty() && moves.back() >= next) moves.pop_back();
    }
  }
  FP = next;
  FC = FP;
  if (FP >= Capacity()) {
    FRec.resize(FRec.size() + GrowStep);
    FMovesOf.resize(FRec.size());
  }
  FMovesOf[FP].clear();
  return FRec[FP];
}

void TPWRecArray::AddStroke(const TPWMenuItem& item, const TPolygon& points, const std::string& text) {
  if (points.empty()) return;
  TPWRec& r = Append();
  r.Menu = item;
  r.Points = points;
  r.Text = text;
  r.Trans = TAr3x3::Identity();
  r.Lines.clear();
}

void TPWRecArray::AddStroke(const TPWMenuItem& item, const QPainterPath& path) {
  TPolygon points;
  points.reserve(path.elementCount());
  for (int i = 0; i < path.elementCount(); ++i) {
    const auto e = path.elementAt(i);
    points.push_back({static_cast<float>(e.x), static_cast<float>(e.y)});
  }
  AddStroke(item, points);
}

void TPWRecArray::AddMove(const TAr3x3& m, const TLines& lines) {
  if (lines.empty() || m.IsIdentity()) return;
  TPWRec& r = Append();
  r.Menu = TPWMenuItem{};
  r.Menu.PenType = pwEdit;
  r.Points.clear();
  r.Text.clear();
  r.Trans = m;
  r.Lines = lines;
  for (const std::int32_t i : lines) {
    if (i >= 0 && i < FP) FMovesOf[i].push_back(FP);
  }
}

void TPWRecArray::Undo() {
  if (CanUndo()) --FP;
}

void TPWRecArray::Redo() {
  if (CanRedo()) ++FP;
}

void TPWRecArray::ClearHistory() {
  FP = -1;
  FC = -1;
  FRec.clear();
  FRec.shrink_to_fit();
  FMovesOf.clear();
  FMovesOf.shrink_to_fit();
}

TAr3x3 TPWRecArray::ResolvedTrans(int i) const { return ResolvedTransAt(i, FP); }

TAr3x3 TPWRecArray::ResolvedTransAt(int i, int upTo) const {
  TAr3x3 m = FRec[i].Trans;
  if (i >= upTo) return m;
  for (const std::int32_t j : FMovesOf[i]) {
    if (j > upTo) break;
    m = FRec[j].Trans * m;
  }
  return m;
}

TPolygon TPWRecArray::ResolvedPointsAt(int i, int upTo) const {
  TPolygon pts = FRec[i].Points;
  if (i >= upTo || FMovesOf[i].empty() || FMovesOf[i].front() > upTo) return pts;
  const TAr3x3 m = ResolvedTransAt(i, upTo);
  for (TPointF& q : pts) q = m.Apply(q);
  return pts;
}

TPolygon TPWRecArray::ResolvedPoints(int i) const {
  TPolygon pts = FRec[i].Points;
  if (i >= FP || FMovesOf[i].empty() || FMovesOf[i].front() > FP) return pts;
  const TAr3x3 m = ResolvedTrans(i);
  for (TPointF& q : pts) q = m.Apply(q);
  return pts;
}
