#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "PenItem.h"

class QPainterPath;

// Affine transform of the plane, row by row; the third row is always 0, 0, 1.
struct TAr3x3 {
  std::array<float, 9> m{1, 0, 0, 0, 1, 0, 0, 0, 1};

  static TAr3x3 Identity() { return {}; }
  static TAr3x3 Translation(float dx, float dy) { return {{1, 0, dx, 0, 1, dy, 0, 0, 1}}; }

  // (A * B) applied to a point applies B first, then A.
  TAr3x3 operator*(const TAr3x3& b) const;
  TPointF Apply(TPointF p) const;
  // Exact comparison: only the very identity counts.
  bool IsIdentity() const { return m == Identity().m; }
  friend bool operator==(const TAr3x3&, const TAr3x3&) = default;
};

using TLines = std::vector<std::int32_t>;

struct TPWRec {
  TPWMenuItem Menu;
  TPolygon Points;
  TAr3x3 Trans;
  TLines Lines;
  // What a text or a step badge shows (UTF-8); empty for every other kind.
  std::string Text;

  bool IsStroke() const { return IsStrokeKind(Menu.PenType); }
  bool IsMove() const { return Menu.PenType == pwEdit; }
};

// The undoable history: records 0..p are the drawing, p+1..c can be redone.
class TPWRecArray {
 public:
  static constexpr int GrowStep = 100;

  int p() const { return FP; }
  int c() const { return FC; }
  // Slots 0..c are records; the vector's size is the capacity.
  const std::vector<TPWRec>& Rec() const { return FRec; }
  int Capacity() const { return static_cast<int>(FRec.size()); }

  void AddStroke(const TPWMenuItem& item, const TPolygon& points, const std::string& text = {});
  void AddStroke(const TPWMenuItem& item, const QPainterPath& path);
  void AddMove(const TAr3x3& m, const TLines& lines);

  bool CanUndo() const { return FC >= 0 && FP >= 0; }
  bool CanRedo() const { return FP < FC; }
  void Undo();
  void Redo();
  void ClearHistory();

  // Points of stroke record i as drawn now, with every move in effect applied.
  TPolygon ResolvedPoints(int i) const;
  // The transform those moves add up to; identity when none applies.
  TAr3x3 ResolvedTrans(int i) const;
  // The same as if records up to upTo were the ones in effect.
  TAr3x3 ResolvedTransAt(int i, int upTo) const;
  TPolygon ResolvedPointsAt(int i, int upTo) const;

 private:
  TPWRec& Append();

  int FP = -1;
  int FC = -1;
  std::vector<TPWRec> FRec;
  // For each stroke slot, the indexes of move records that list it, ascending
  // (once per listing), so resolving a stroke does not scan every later move.
  std::vector<std::vector<std::int32_t>> FMovesOf;
};
