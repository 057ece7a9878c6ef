// The tile column: 22 tiles in two columns on MenuPanel, showing the entries
// of MenuItems that fit and always ending with Menu, Setup and Close.

#include "app/MainFrm.h"
#include "app/PaintRect.h"
#include "dialogs/MenuLook.h"
#include "drawing/PWImage.h"
#include "settings/Settings.h"
#include "widgets/MetroButton.h"

namespace {

constexpr int TileStep = MetroSmallSize + MetroSpace;
constexpr int TileMargin = 5;
constexpr int FixedTiles = 3;  // Menu, Setup, Close

}  // namespace

void TMainFrm::CreateMenuButtons() {
  for (int i = 0; i < static_cast<int>(MenuButton.size()); ++i) {
    auto* tile = new TMetroButton(MenuPanel, mtSmallSingle);
    tile->move((i % 2) * TileStep + TileMargin, (i / 2) * TileStep + TileMargin);
    tile->Tag = i;
    tile->OnExecute = [this](TMetroButton* sender) { MenuButtonExecute(sender); };
    tile->hide();
    MenuButton[static_cast<std::size_t>(i)] = tile;
  }
}

void TMainFrm::FreeMenuButtons() {
  for (TMetroButton*& tile : MenuButton) {
    // A tile may be freed from its own click (the settings dialog confirmed
    // through it), so it goes once control is back in the event loop.
    if (!tile) continue;
    tile->hide();
    tile->deleteLater();
    tile = nullptr;
  }
  CrSetup = -1;
}

void TMainFrm::MenuPanelResize() {
  if (!MenuButton[0]) return;
  const int rows = MenuPanel->height() / TileStep;
  const int slotCount = 2 * rows;
  for (TMetroButton* tile : MenuButton) tile->hide();
  const int n = MenuCount;
  CrSetup = slotCount > n ? n - FixedTiles : slotCount - FixedTiles;
  if (CrSetup < 0) return;
  const int visible = CrSetup + FixedTiles;
  for (int i = 0; i < visible; ++i) {
    TMetroButton& tile = *MenuButton[static_cast<std::size_t>(i)];
    // An odd last tile fills its row alone. Every other tile is made single
    // again: an earlier layout with another count may have widened it.
    const TMetroButtonType type = (i == visible - 1 && visible % 2 == 1) ? mtSmallDouble : mtSmallSingle;
    if (tile.MetroButtonType() != type) tile.SetMetroButtonType(type);
    tile.SetColor(MetroBlue);
  }
  for (int i = 0; i < CrSetup; ++i)
    MenuButtonSet(MenuItems[static_cast<std::size_t>(i)], *MenuButton[static_cast<std::size_t>(i)]);
  for (int k = 0; k < FixedTiles; ++k)
    MenuButtonSet(MenuItems[static_cast<std::size_t>(n - FixedTiles + k)],
                  *MenuButton[static_cast<std::size_t>(CrSetup + k)]);
  MenuButton[static_cast<std::size_t>(CrSetup + 2)]->SetColor(MetroRed);
  for (int i = 0; i < visible; ++i) MenuButton[static_cast<std::size_t>(i)]->show();
  MenuButtonUpdate();
}

void TMainFrm::MenuButtonSet(const TPWMenuItem& item, TMetroButton& button) {
  ::MenuButtonSet(item, button);
}

void TMainFrm::MenuButtonSubSet(const TPWMenuItem& item, TMetroButton& button) {
  ::MenuButtonSubSet(item, button);
}

void TMainFrm::MenuButtonUpdate() {
  if (CrSetup < 0 || !MenuButton[0]) return;
  TPWMenuItem pen;
  if (PWImage) {
    pen = PWImage->CrPen();
  } else {
    GetStartPen(pen, PenIndex);
  }
  const auto stock = [](const TPWMenuItem& e) -> const TPWMenuItem* {
    const std::uint32_t n = MarkIndex(e);
    return n < StockPens.size() ? &StockPens[n] : nullptr;
  };
  for (int i = 0; i < CrSetup; ++i) {
    const TPWMenuItem& e = MenuItems[static_cast<std::size_t>(i)];
    bool down = false;
    switch (e.PenType) {
      case pwPn:
      case pwMk:
      case pwArPn0:
      case pwArPn1:
      case pwArMk0:
      case pwArMk1:
      case pwLine:
      case pwLineMk:
      case pwRect:
      case pwRectMk:
      case pwEllipse:
      case pwEllipseMk:
      case pwText:
      case pwStep:
      case pwLaser:
        down = pen == e;
        break;
      case pwEr:
      case pwRbPn:
      case pwRbMk:
      case pwMove:
      case pwLasso:
        down = pen.PenType == e.PenType;
        break;
      case pwMarkPtr:
        down = stock(e) && pen == *stock(e);
        break;
      default:
        break;
    }
    MenuButton[static_cast<std::size_t>(i)]->SetDown(down);
  }
  for (int k = 0; k < FixedTiles; ++k) MenuButton[static_cast<std::size_t>(CrSetup + k)]->SetDown(false);
  MenuPanel->update();
}

void TMainFrm::MenuButtonExecute(TMetroButton* sender) {
  const int t = sender->Tag;
  if (t < CrSetup) {
    MenuButtonClick(MenuItems[static_cast<std::size_t>(t)]);
  } else {
    MenuButtonClick(MenuItems[static_cast<std::size_t>(MenuCount - FixedTiles + (t - CrSetup))]);
  }
}
