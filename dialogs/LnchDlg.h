#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "drawing/PenItem.h"

class TMetroButton;

// The launcher's grid for a number of entries: the ordinary tiles about four
// wide for three high, and one more column for the Close tile.
struct TLaunchGrid {
  int Columns = 0;
  int Rows = 0;
  int Width = 0;
  int Height = 0;
};
TLaunchGrid LaunchGrid(int count);

// Every command and tool of the launcher table as a grid of tiles, centred
// over the overlay. A chosen entry is carried out once the launcher has
// closed; its red Close tile closes the launcher only.
class TLnchDlg : public QDialog {
  Q_OBJECT

 public:
  TLnchDlg();

  // Modal over the main window's rectangle; then carries out the choice.
  void Execute(const QRect& rect);
  // Everything Execute does before it shows the dialog.
  void Prepare(const QRect& rect);

  // Carries out an entry: the main window's dispatch.
  std::function<void(const TPWMenuItem&)> MenuButtonClick;

  // The tiles of the current opening, by entry index.
  std::vector<TMetroButton*> LnchBtn;
  TPWMenuItem RMenuItem;

  void LnchBtnExecute(TMetroButton* sender);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
