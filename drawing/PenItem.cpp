#include "PenItem.h"

std::vector<float> DashLengths(TStrokeDash dash) {
  switch (dash) {
    case sdDash: return {3, 1};
    case sdDot: return {1, 1};
    case sdDashDot: return {3, 1, 1, 1};
    case sdDashDotDot: return {3, 1, 1, 1, 1, 1};
    case sdSolid:
    case sdCustom:
      break;
  }
  // A dash ordinal outside the known ones (a hand-edited file) draws solid.
  return {};
}
