#pragma once

// What must hold after CheckSetup, whatever the settings file held. Shared by
// the unit tests and the fuzz target.

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <cmath>

#include "settings/SetupFile.h"
#include "settings/Settings.h"

// Empty when every invariant holds, else a description of the first one broken.
inline QString SetupInvariantViolation() {
  if (MenuCount < 3 || MenuCount > MenuCapacity) return QStringLiteral("MenuCount %1").arg(MenuCount);
  const auto at = [](int i) { return MenuItems[static_cast<std::size_t>(i)]; };
  if (at(MenuCount - 3).PenType != pwLaunch || at(MenuCount - 2).PenType != pwSetup ||
      at(MenuCount - 1).PenType != pwClose)
    return QStringLiteral("tail");
  const bool appExists = AppExists();
  for (int i = 0; i < MenuCount - 3; ++i) {
    const TPWMenuItem e = at(i);
    switch (e.PenType) {
      case pwNone:
      case pwLaunch:
      case pwSetup:
      case pwClose:
        return QStringLiteral("body entry %1 has type %2").arg(i).arg(int(e.PenType));
      case pwApp:
        if (!appExists) return QStringLiteral("pwApp without the program");
        break;
      case pwMarkPtr:
        if (MarkIndex(e) >= StockPenCount) return QStringLiteral("stock index %1").arg(MarkIndex(e));
        break;
      default:
        break;
    }
  }
  for (int i = MenuCount; i < MenuCapacity; ++i)
    if (at(i).PenType != pwNone) return QStringLiteral("slot %1 past the count").arg(i);
  for (float w : PresetThickness)
    if (!(w >= MinPresetThickness && w <= MaxPresetThickness)) return QStringLiteral("preset width %1").arg(w);
  for (TAlphaColor c : PresetColor)
    if ((c >> 24) != 0xFF) return QStringLiteral("preset colour %1").arg(c, 8, 16);
  if (ImagePathDefault != PicturesFolder()) {
    const QString sep = QDir::separator();
    if (!QFileInfo(ImagePathDefault).isDir()) return QStringLiteral("no folder: ") + ImagePathDefault;
    if (!ImagePathDefault.endsWith(sep) || (ImagePathDefault.size() > 1 && ImagePathDefault.endsWith(sep + sep)))
      return QStringLiteral("separators: ") + ImagePathDefault;
  }
  if (isPressure) return QStringLiteral("isPressure");
  // What the reader guarantees on top: every value in the range its users expect.
  if (ImageTypeDefault < 1 || ImageTypeDefault > 5) return QStringLiteral("image type");
  if (ImageJPEGQuality < 0 || ImageJPEGQuality > 100) return QStringLiteral("quality");
  const auto badTool = [](const TPWMenuItem& e) {
    return !(std::isfinite(e.PenThickness) && e.PenThickness > 0 && e.PenThickness <= MaxToolThickness) ||
           e.PenDash > sdCustom;
  };
  for (int i = 0; i < MenuCount - 3; ++i)
    if (badTool(at(i))) return QStringLiteral("menu entry %1 width or dash").arg(i);
  for (const auto& p : StockPens)
    if (badTool(p)) return QStringLiteral("stock pen width or dash");
  if (LaunchCount != (appExists ? 31 : 30)) return QStringLiteral("LaunchCount %1").arg(LaunchCount);
  return {};
}
