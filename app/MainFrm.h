#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "drawing/PenItem.h"
#include "platform/Platform.h"

class QFileDialog;
class QLabel;
class QPainter;
class QTimer;
class TMetroButton;
class TPaintRect;
class TPWImage;
class TSaveWriter;
class TScreenSurfaces;
class TSpotlight;

// What the dialogs do for the window's commands. Filled in by the entry point
// once the dialogs exist; a missing one makes its command do nothing.
struct TDialogSet {
  // The settings dialog; true when the user confirmed.
  std::function<bool()> Setup;
  // The pen chooser: the edited pen when confirmed, the given one otherwise.
  std::function<TPWMenuItem(const TPWMenuItem&)> PenSetup;
  // The launcher over the window's rectangle; it carries out the chosen
  // entry itself through MenuButtonClick.
  std::function<void(const QRect&)> Launcher;
  // The about box, modal.
  std::function<void()> About;
};

// The overlay: a frameless, per-pixel transparent window over the whole
// primary screen and above every other window. The drawing surface fills
// it; two corner buttons switch drawing and the tile column, which lies
// below them along the right edge.
//
// Controls and fields are public like a form's design, so that the command
// dispatch and the dialogs reach them as the other parts of the program do.
class TMainFrm : public QWidget {
  Q_OBJECT

 public:
  // The window services are used for the life of the window.
  explicit TMainFrm(TWindowSystem& windowSystem, QWidget* parent = nullptr);
  ~TMainFrm() override;

  // Covers the primary screen, shows the window and takes the top-most place.
  void ShowOverlay();

  // Controls, in painting order.
  TPaintRect* RectBK = nullptr;
  TPaintRect* ModeRect = nullptr;
  QTimer* Timer1 = nullptr;
  TPaintRect* WriteRect = nullptr;
  TPaintRect* MenuPanel = nullptr;
  QTimer* MetroTimer = nullptr;
  QFileDialog* SaveDialog = nullptr;

  TDialogSet Dialogs;

  TNativeWindow ActiveWindowHandle = 0;
  bool isFirst = false;
  bool isMenu = false;
  TPWImage* PWImage = nullptr;
  std::int32_t PenIndex = 0;
  bool isWorking = false;
  std::int32_t CrSetup = 0;
  TPWMenuItem PrPen;

  void FormCreate();
  void FormDestroy();
  void FormPaint();
  void FormResize();

  void WriteRectPaint(QPainter& canvas, const QRect& rect);
  void WriteRectClick();
  void ModeRectPaint(QPainter& canvas, const QRect& rect);
  void ModeRectClick();
  void Timer1Timer();
  void MetroTimerTimer();
  void MenuPanelMouseLeave();
  // A keypad hot key by its virtual-key code; false when it was not handled
  // and belongs to the inherited handler.
  bool KeyDown(int& key, QChar keyChar, Qt::KeyboardModifiers shift);

  // The tile column (app/MenuColumn.cpp).
  std::array<TMetroButton*, 22> MenuButton{};
  void CreateMenuButtons();
  void FreeMenuButtons();
  void MenuPanelResize();
  void MenuButtonSet(const TPWMenuItem& item, TMetroButton& button);
  void MenuButtonSubSet(const TPWMenuItem& item, TMetroButton& button);
  void MenuButtonUpdate();
  void MenuButtonExecute(TMetroButton* sender);

  // The command dispatch (app/Dispatch.cpp): every tile, hot key and
  // launcher choice is carried out here.
  void MenuButtonClick(const TPWMenuItem& item);

  // The Save and Save As commands (app/SaveScreen.cpp).
  void SaveImage();
  void SaveImageAs();
  // Hides the window's controls, captures the screen once it no longer
  // shows them, brings them back and hands the picture to SaveWriter.
  void SaveScreen(const QString& fileName, int imageIndex);

  // The spotlight over the screen, made when first asked for (app/Spotlight.cpp).
  TSpotlight* Spotlight = nullptr;
  void ToggleSpotlight();

  // The surfaces of every screen (app/ScreenSurfaces.cpp).
  std::unique_ptr<TScreenSurfaces> Surfaces;

  // Encodes and writes saved pictures off the UI thread.
  std::unique_ptr<TSaveWriter> SaveWriter;
  // Names the last written file for a moment; never in a picture.
  QLabel* SaveNotice = nullptr;
  QTimer* SaveNoticeTimer = nullptr;

  // The pointer reaches the window only where it has to: everywhere while
  // drawing, else on the corner buttons and the visible tile panel.
  void UpdateInputShape();

  // One command of the window, with hot keys and the top-most upkeep held
  // off while it runs: a pending lasso selection is settled first. The hold
  // is lifted even when the command fails; its error goes on to the report.
  void RunCommand(const std::function<void()>& work);
  // A stroke is being drawn or a command of the window carried out.
  bool IsBusy() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void StorePrevPen();
  void EnsureCanWrite();
  void ExecuteSetup();
  void ExecuteLauncher();
  void ExecutePenSetup();
  void RestoreActiveWindow();
  // The program's other windows on screen: dialogs and messages, which must
  // stay above the overlay.
  std::vector<TNativeWindow> OwnWindows() const;
  // Puts a window of the program's own above the overlay once it is mapped.
  void PlaceAboveWhenShown(QWidget* window);

  // Returns once the screen no longer shows any of the given pictures at
  // their rectangles (device pixels), or after a bound.
  void WaitUntilScreenChanged(const std::vector<std::pair<QRect, QImage>>& shown);
  // Hands on one finished save: its notice, and its error to the report.
  void SaveResultsReady();
  void ShowSaveNotice(const QString& fileName, bool written);

  TWindowSystem& FWindowSystem;
  bool FDestroyed = false;
  bool FCapturing = false;
  // The corner buttons' place on the screen and what it showed without them
  // at the last capture.
  std::pair<QRect, QImage> FLastHidden;
  int FCommandDepth = 0;
};

// The save dialog's folder for a default image folder: without its trailing
// separator, except for the root, which keeps it.
QString SaveDialogFolder(const QString& imagePath);

// The virtual-key code of a keypad key event; 0 for any other key.
int KeypadVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers);
