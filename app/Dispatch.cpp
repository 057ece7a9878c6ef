// The command dispatch: every tile, hot key and launcher choice ends here.

#include <QFileDialog>

#include "app/MainFrm.h"
#include "app/PaintRect.h"
#include "app/ScreenSurfaces.h"
#include "drawing/PWImage.h"
#include "settings/Settings.h"

void TMainFrm::MenuButtonClick(const TPWMenuItem& item) {
  RunCommand([this, item] {
    switch (item.PenType) {
      case pwPn:
      case pwMk:
      case pwRbPn:
      case pwRbMk:
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
      case pwLasso:
        PrPen = PWImage->CrPen();
        PWImage->SetCrPen(item);
        break;
      case pwLaser:
        // Like a stock pen: ready to point with at once.
        PrPen = PWImage->CrPen();
        PWImage->SetCrPen(item);
        EnsureCanWrite();
        break;
      case pwSpotlight:
        ToggleSpotlight();
        break;
      case pwEr:
        if (PWImage->CrPen().PenType == pwEr) {
          PWImage->SetCrPen(PrPen);
        } else {
          StorePrevPen();
          PWImage->SetCrPen(item);
        }
        EnsureCanWrite();
        break;
      case pwEraseAll:
        Surfaces->EraseAll();
        break;
      case pwSave:
        SaveImage();
        break;
      case pwSaveAs:
        SaveImageAs();
        break;
      case pwUndo:
        Surfaces->Undo();
        break;
      case pwRedo:
        Surfaces->Redo();
        break;
      case pwLaunch:
        ExecuteLauncher();
        break;
      case pwInfo:
        if (Dialogs.About) Dialogs.About();
        break;
      case pwSetup:
        ExecuteSetup();
        break;
      case pwPenSetup:
        ExecutePenSetup();
        break;
      case pwMarkPtr: {
        // The settings drop entries beyond the ten stock pens; one that comes
        // from elsewhere does nothing rather than stand for the wrong pen.
        const std::uint32_t n = MarkIndex(item);
        if (n >= StockPens.size()) break;
        PenIndex = static_cast<std::int32_t>(n);
        PWImage->SetCrPen(StockPens[n]);
        EnsureCanWrite();
        break;
      }
      case pwMarkIdx:
        PenIndex = PenIndex + 1 > StockPenCount - 1 || PenIndex < 0 ? 0 : PenIndex + 1;
        PWImage->SetCrPen(StockPens[static_cast<std::size_t>(PenIndex)]);
        break;
      case pwClose:
        close();
        break;
      case pwApp:
        if (AppExists()) RunApp();
        break;
      default:
        break;
    }
    MenuButtonUpdate();
  });
}

void TMainFrm::StorePrevPen() {
  if (PWImage->CrPen().PenType != pwEr) PrPen = PWImage->CrPen();
}

void TMainFrm::EnsureCanWrite() {
  if (PWImage->CanWrite()) return;
  PWImage->SetCanWrite(true);
  WriteRect->update();
  PWImage->update();
  UpdateInputShape();
  RestoreActiveWindow();
}

void TMainFrm::ExecuteSetup() {
  if (!Dialogs.Setup || !Dialogs.Setup()) return;
  FreeMenuButtons();
  CreateMenuButtons();
  MenuPanelResize();
  SaveDialog->setDirectory(SaveDialogFolder(ImagePathDefault));
  UpdateInputShape();
  // "All screens" takes effect here, once confirmed.
  Surfaces->Update();
}

void TMainFrm::ExecuteLauncher() {
  if (Dialogs.Launcher) Dialogs.Launcher(geometry());
}

void TMainFrm::ExecutePenSetup() {
  if (!Dialogs.PenSetup) return;
  const TPWMenuItem current = PWImage->CrPen();
  const TPWMenuItem edited = current.PenType == pwEr ? PrPen : current;
  PWImage->SetCrPen(Dialogs.PenSetup(edited));
  EnsureCanWrite();
}
