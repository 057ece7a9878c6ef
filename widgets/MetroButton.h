#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

// Sizes of the tile grids: every grid steps by MetroSmallSize + MetroSpace.
inline constexpr int MetroSmallSize = 60;
inline constexpr int MetroLargeSize = 90;
inline constexpr int MetroSpace = 10;
// How far a pressed tile moves right and down, and shrinks on each side.
inline constexpr int MetroPress = 3;

inline constexpr std::uint32_t MetroBlue = 0xFF1BA1E2;
inline constexpr std::uint32_t MetroRed = 0xFFE51400;
inline constexpr std::uint32_t MetroGreen = 0xFF339933;

// Set by every tile the pointer enters; the main window clears and reads it
// to hide its tile column once the pointer has left it.
inline bool MetroEntered = true;

enum TMetroButtonType : std::uint8_t {
  mtSingle = 0,
  mtDouble = 1,
  mtPicture = 2,
  mtSmallSingle = 3,
  mtSmallDouble = 4,
};

// The flat square tile every button of the program is made of: a coloured
// square with an icon in its upper part and a label at its bottom left.
class TMetroButton : public QWidget {
  Q_OBJECT

 public:
  explicit TMetroButton(QWidget* parent = nullptr, TMetroButtonType type = mtSmallSingle);
  ~TMetroButton() override;

  TMetroButtonType MetroButtonType() const { return FMetroButtonType; }
  // Also sets the size and the colour the type calls for.
  void SetMetroButtonType(TMetroButtonType type);
  int MetroWidth() const { return FMetroWidth; }
  int MetroHeight() const { return FMetroHeight; }

  std::uint32_t Color() const { return FColor; }
  void SetColor(std::uint32_t color) { FColor = color; }  // no repaint
  // The tile's own icon; callers fill it directly.
  QImage& Bitmap() { return FBitmap; }
  const QImage& Bitmap() const { return FBitmap; }
  void SetBitmap(const QImage& bitmap) { FBitmap = bitmap; }
  const QString& Text() const { return FText; }
  void SetText(const QString& text) { FText = text; }  // no repaint
  bool Down() const { return FDown; }
  void SetDown(bool down);

  // A completed click: released over the tile it was pressed on. The
  // handler may destroy the tile.
  std::function<void(TMetroButton*)> OnExecute;
  // Free for the owner; the tile never reads it.
  int Tag = 0;

  // The pointer is over the tile, a press is in progress.
  bool IsEntered() const { return Enter; }
  bool IsPressed() const { return MDown; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void PointerEntered();
  void PointerLeft();
  bool ReleasePress();
  bool OverRestingTile(const QPointF& pos) const;
  void RecolourIcon();

  int FMetroHeight = 0;
  int FMetroWidth = 0;
  TMetroButtonType FMetroButtonType = mtSmallSingle;
  std::uint32_t FColor = MetroBlue;
  QImage FBitmap;
  QString FText;
  bool Enter = false;
  bool MDown = false;
  bool FDown = false;
};
