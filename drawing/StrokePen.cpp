#include "StrokePen.h"

#include <QColor>

QPen StrokePen(TAlphaColor color, qreal width, TStrokeDash dash) {
  QPen pen(QColor::fromRgba(color), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  const std::vector<float> lengths = DashLengths(dash);
  if (!lengths.empty()) {
    // Round caps add half a width at each end of every "on" run.
    QList<qreal> pattern;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
      const bool on = i % 2 == 0;
      pattern << (on ? qMax<qreal>(lengths[i] - 1.0, 0.001) : lengths[i] + 1.0);
    }
    pen.setDashPattern(pattern);
  }
  return pen;
}
