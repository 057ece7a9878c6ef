#include "dialogs/LnchDlg.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "dialogs/Centre.h"
#include "dialogs/MenuLook.h"
#include "settings/Settings.h"
#include "widgets/MetroButton.h"

namespace {

constexpr QRgb kFormColor = 0xFF1F1F1F;
constexpr int kStep = MetroSmallSize + MetroSpace;

}  // namespace

TLaunchGrid LaunchGrid(int count) {
  const int ordinary = std::max(0, count - 1);
  TLaunchGrid grid;
  // At least one column, so that a table cut short still lays out.
  grid.Columns = std::max(1, int(std::nearbyint(std::sqrt(ordinary * 4.0 / 3.0))));
  // One row more than needed when the last one is full: as it always was.
  grid.Rows = ordinary / grid.Columns + 1;
  grid.Width = (grid.Columns + 1) * kStep + 10;
  grid.Height = grid.Rows * kStep;
  return grid;
}

TLnchDlg::TLnchDlg() : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint) { setModal(true); }

void TLnchDlg::Prepare(const QRect& rect) {
  for (TMetroButton* tile : LnchBtn) delete tile;
  const int count = std::clamp(int(LaunchCount), 0, int(LaunchItems.size()));
  LnchBtn.assign(std::size_t(count), nullptr);

  const TLaunchGrid grid = LaunchGrid(count);
  setFixedSize(grid.Width, grid.Height);
  for (int i = 0; i < count; ++i) {
    auto* tile = new TMetroButton(this, mtSmallSingle);
    const bool last = i == count - 1;
    if (last)
      tile->move(grid.Columns * kStep + 15, 5);
    else
      tile->move(kStep * (i % grid.Columns) + 5, kStep * (i / grid.Columns) + 5);
    tile->Tag = i;
    tile->OnExecute = [this](TMetroButton* sender) { LnchBtnExecute(sender); };
    MenuButtonSet(LaunchItems[std::size_t(i)], *tile);
    if (last) tile->SetColor(MetroRed);
    tile->show();
    LnchBtn[std::size_t(i)] = tile;
  }
  RMenuItem.PenType = pwNone;
  move(CentredOn(rect, size()));
}

void TLnchDlg::Execute(const QRect& rect) {
  Prepare(rect);
  exec();
  // Closed without a choice or by Close: nothing to carry out.
  if (RMenuItem.PenType != pwClose && RMenuItem.PenType != pwNone && MenuButtonClick)
    MenuButtonClick(RMenuItem);
}

void TLnchDlg::LnchBtnExecute(TMetroButton* sender) {
  RMenuItem = LaunchItems[std::size_t(sender->Tag)];
  accept();
}

void TLnchDlg::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor::fromRgba(kFormColor));
}
