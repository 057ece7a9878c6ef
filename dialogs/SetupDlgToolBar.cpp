// The settings dialog's ToolBar page: the launcher's tiles on the left, the
// column's on the right, moved between them and exchanged by dragging.

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>

#include "dialogs/MenuLook.h"
#include "dialogs/SetupDlg.h"
#include "dialogs/SetupDlgLayout.h"
#include "settings/Settings.h"
#include "widgets/MetroButton.h"

namespace {

constexpr QSize kListItemSize(70, 64);

void SetUpTileList(QListWidget& list) {
  list.setFlow(QListView::LeftToRight);
  list.setWrapping(true);
  list.setResizeMode(QListView::Adjust);
  list.setUniformItemSizes(true);
  list.setSpacing(0);
  list.setSelectionMode(QAbstractItemView::MultiSelection);
  list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  // A selected tile shows by the band around it.
  list.setStyleSheet(QStringLiteral("QListWidget::item:selected { background: #E51400; }"));
}

template <class T>
void Exchange(T& a, T& b) {
  T t = a;
  a = b;
  b = t;
}

}  // namespace

void TMenuList::mousePressEvent(QMouseEvent* event) {
  QListWidget::mousePressEvent(event);
  if (event->button() != Qt::LeftButton) return;
  FPressed = true;
  FDragging = false;
  FPressedAt = event->position();
  if (OnMouseDown) OnMouseDown(FPressedAt);
}

void TMenuList::mouseMoveEvent(QMouseEvent* event) {
  if (!FPressed || !(event->buttons() & Qt::LeftButton)) {
    QListWidget::mouseMoveEvent(event);
    return;
  }
  if (!FDragging && (event->position() - FPressedAt).manhattanLength() >= QApplication::startDragDistance())
    FDragging = true;
  if (FDragging)
    viewport()->setCursor(OnDragOver && OnDragOver(event->position()) ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
}

void TMenuList::mouseReleaseEvent(QMouseEvent* event) {
  const bool dropped = FDragging && event->button() == Qt::LeftButton;
  FPressed = false;
  FDragging = false;
  viewport()->unsetCursor();
  QListWidget::mouseReleaseEvent(event);
  if (!dropped) return;
  const QPointF at = event->position();
  if (OnDragOver && OnDragOver(at) && OnDragDrop) OnDragDrop(at);
}

TToolBarPage::TToolBarPage(QWidget* parent) : QWidget(parent) {
  QWidget* page = this;
  LnchLB = Place<QListWidget>(page, 8, 16, 160, 361);
  MenuLB = Place<TMenuList>(page, 300, 16, 160, 361);
  SetUpTileList(*LnchLB);
  SetUpTileList(*MenuLB);
  MenuLB->OnMouseDown = [this](QPointF p) { MenuLBMouseDown(p); };
  MenuLB->OnDragOver = [this](QPointF p) { return MenuLBDragOver(p); };
  MenuLB->OnDragDrop = [this](QPointF p) { MenuLBDragDrop(p); };

  MenuBarAdd = PlaceButton(page, ">", 176, 76, 120, 60, 30);
  MenuBarBack = PlaceButton(page, "<", 176, 170, 120, 60, 30);
  MenuBarBackAllBtn = PlaceButton(page, "<<", 176, 264, 120, 60, 30);
  connect(MenuBarAdd, &QPushButton::clicked, this, &TToolBarPage::MenuBarAddClick);
  connect(MenuBarBack, &QPushButton::clicked, this, &TToolBarPage::MenuBarBackClick);
  connect(MenuBarBackAllBtn, &QPushButton::clicked, this, &TToolBarPage::MenuBarBackAllBtnClick);
}

// --- ToolBar page ---------------------------------------------------------------

TMetroButton* TToolBarPage::NewTile(const TPWMenuItem& item) {
  auto* tile = new TMetroButton(this, mtSmallSingle);
  ::MenuButtonSet(item, *tile);
  tile->setAttribute(Qt::WA_TransparentForMouseEvents);
  tile->hide();
  return tile;
}

void TToolBarPage::CreateLaunchTiles() {
  ClearLists();
  for (int i = 0; i < LaunchCount - 1; ++i) {
    TMetroButton* tile = NewTile(LaunchItems[static_cast<std::size_t>(i)]);
    tile->Tag = i;
    LnchBtn.push_back(tile);
  }
  RebuildLists();
}

bool TToolBarPage::InMenu(const TPWMenuItem& item) const {
  for (int i = 0; i < MenuCount; ++i)
    if (SameEntry(MenuItems[static_cast<std::size_t>(i)], item)) return true;
  return false;
}

int TToolBarPage::LaunchIndex(const TPWMenuItem& item) const {
  for (int i = 0; i < LaunchCount - 1; ++i)
    if (SameEntry(LaunchItems[static_cast<std::size_t>(i)], item)) return i;
  return -1;
}

void TToolBarPage::AddListItem(QListWidget& list, int tag, TMetroButton* tile) {
  auto* item = new QListWidgetItem(&list);
  item->setSizeHint(kListItemSize);
  item->setData(Qt::UserRole, tag);
  // Presses and drags go through the tile to the list item under it.
  auto* holder = new QWidget;
  holder->setAttribute(Qt::WA_TransparentForMouseEvents);
  tile->setParent(holder);
  tile->move(2, 2);
  tile->show();
  list.setItemWidget(item, holder);
}

void TToolBarPage::RebuildLists() {
  // Every offered entry needs its tile, also after the launcher table changed.
  if (LnchBtn.size() != static_cast<std::size_t>(std::max(0, LaunchCount - 1))) return CreateLaunchTiles();
  LnchLB->setUpdatesEnabled(false);
  MenuLB->setUpdatesEnabled(false);
  // The lists delete what they hold, so the tiles are taken out first.
  for (TMetroButton* tile : LnchBtn) {
    tile->hide();
    tile->setParent(this);
  }
  for (TMetroButton* tile : FSpareTiles) {
    tile->hide();
    tile->setParent(this);
  }
  LnchLB->clear();
  MenuLB->clear();
  qDeleteAll(FSpareTiles);
  FSpareTiles.clear();

  for (int i = 0; i < LaunchCount - 1; ++i)
    if (!InMenu(LaunchItems[static_cast<std::size_t>(i)]))
      AddListItem(*LnchLB, i, LnchBtn[static_cast<std::size_t>(i)]);

  int n = 0;
  for (int i = 0; i < MenuCount; ++i) {
    const TPWMenuItem entry = MenuItems[static_cast<std::size_t>(i)];
    const int k = LaunchIndex(entry);
    if (k < 0) continue;
    MenuItems[static_cast<std::size_t>(n)] = entry;
    TMetroButton* tile = LnchBtn[static_cast<std::size_t>(k)];
    if (tile->parent() != this) {
      // Only a hand-edited file holds one entry twice.
      tile = NewTile(entry);
      tile->Tag = k;
      FSpareTiles.push_back(tile);
    }
    AddListItem(*MenuLB, n, tile);
    ++n;
  }
  MenuCount = n;
  for (int i = n; i < MenuCapacity; ++i) MenuItems[static_cast<std::size_t>(i)].PenType = pwNone;

  LnchLB->setUpdatesEnabled(true);
  MenuLB->setUpdatesEnabled(true);
}

void TToolBarPage::ClearLists() {
  for (TMetroButton* tile : LnchBtn) tile->setParent(this);
  for (TMetroButton* tile : FSpareTiles) tile->setParent(this);
  LnchLB->clear();
  MenuLB->clear();
  qDeleteAll(LnchBtn);
  LnchBtn.clear();
  qDeleteAll(FSpareTiles);
  FSpareTiles.clear();
}

int TToolBarPage::InsertPosition() const {
  for (int row = 0; row < MenuLB->count(); ++row)
    if (MenuLB->item(row)->isSelected()) return MenuLB->item(row)->data(Qt::UserRole).toInt();
  return MenuLB->count();
}

void TToolBarPage::MenuBarAddClick() {
  std::vector<int> picked;
  for (int row = 0; row < LnchLB->count(); ++row)
    if (LnchLB->item(row)->isSelected()) picked.push_back(LnchLB->item(row)->data(Qt::UserRole).toInt());
  if (picked.empty()) return;
  // What the lists show is what the column gets: it keeps no more than its
  // body before the fixed tail, and when not all fit, the first ones go in.
  picked.resize(std::min(picked.size(), static_cast<std::size_t>(std::max(0, MenuBodyCapacity - MenuCount))));
  const int p = InsertPosition();
  // Inserting from the last to the first keeps the left list's order.
  for (auto it = picked.rbegin(); it != picked.rend(); ++it) {
    for (int i = MenuCount; i > p; --i)
      MenuItems[static_cast<std::size_t>(i)] = MenuItems[static_cast<std::size_t>(i - 1)];
    MenuItems[static_cast<std::size_t>(p)] = LaunchItems[static_cast<std::size_t>(*it)];
    ++MenuCount;
  }
  RebuildLists();
}

void TToolBarPage::MenuBarBackClick() {
  if (MenuLB->selectedItems().isEmpty()) return;
  for (int row = MenuLB->count() - 1; row >= 0; --row) {
    const QListWidgetItem* item = MenuLB->item(row);
    if (!item->isSelected()) continue;
    for (int i = item->data(Qt::UserRole).toInt(); i < MenuCount - 1; ++i)
      MenuItems[static_cast<std::size_t>(i)] = MenuItems[static_cast<std::size_t>(i + 1)];
    --MenuCount;
  }
  RebuildLists();
}

void TToolBarPage::MenuBarBackAllBtnClick() {
  MenuCount = 0;
  RebuildLists();
}

void TToolBarPage::MenuLBMouseDown(QPointF pos) { StartingPoint = pos; }

bool TToolBarPage::MenuLBDragOver(QPointF pos) const { return MenuLB->itemAt(pos.toPoint()) != nullptr; }

void TToolBarPage::MenuLBDragDrop(QPointF pos) {
  QListWidgetItem* a = MenuLB->itemAt(StartingPoint.toPoint());
  QListWidgetItem* b = MenuLB->itemAt(pos.toPoint());
  if (!a || !b || a == b) return;
  const int ta = a->data(Qt::UserRole).toInt();
  const int tb = b->data(Qt::UserRole).toInt();
  Exchange(MenuItems[static_cast<std::size_t>(ta)], MenuItems[static_cast<std::size_t>(tb)]);
  // The items keep their places and Tags; their tiles and selection change
  // places, which is the exchange the user sees.
  QWidget* ha = MenuLB->itemWidget(a);
  QWidget* hb = MenuLB->itemWidget(b);
  auto* tileA = ha->findChild<TMetroButton*>();
  auto* tileB = hb->findChild<TMetroButton*>();
  tileA->setParent(hb);
  tileB->setParent(ha);
  tileA->move(2, 2);
  tileB->move(2, 2);
  tileA->show();
  tileB->show();
  const bool selectedA = a->isSelected();
  a->setSelected(b->isSelected());
  b->setSelected(selectedA);
}
