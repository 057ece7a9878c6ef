#include "dialogs/MenuLook.h"

#include "resources/Pictures.h"
#include "settings/Settings.h"
#include "widgets/MetroButton.h"

namespace {

struct TLook {
  const char* Text;
  const char* Icon;
};

void Apply(TMetroButton& button, const TLook& look) {
  button.SetText(QString::fromLatin1(look.Text));
  button.SetBitmap(LoadPicture(QString::fromLatin1(look.Icon)));
}

}  // namespace

void MenuButtonSet(const TPWMenuItem& item, TMetroButton& button) {
  switch (item.PenType) {
    case pwEr: return Apply(button, {"Eraser", "MT_ERASER"});
    case pwEraseAll: return Apply(button, {"Erase All", "MT_ERASEALL"});
    case pwOpen: return Apply(button, {"Open ...", "MT_OPEN"});
    case pwSave: return Apply(button, {"Save", "MT_SAVE"});
    case pwSaveAs: return Apply(button, {"Save As ...", "MT_SAVE"});
    case pwUndo: return Apply(button, {"Undo", "MT_UNDO"});
    case pwRedo: return Apply(button, {"Redo", "MT_REDO"});
    case pwWBrd: return Apply(button, {"W-Board", "MT_WBRD"});
    case pwLaunch: return Apply(button, {"Menu ...", "MT_LAUNCH"});
    case pwLasso: return Apply(button, {"Lasso", "MT_LASSO"});
    case pwInfo: return Apply(button, {"Info", "MT_INFO"});
    case pwSetup: return Apply(button, {"Setup ...", "MT_SETUP"});
    case pwPenSetup: return Apply(button, {"Pen Setup", "MT_PENSETUP"});
    case pwClose: return Apply(button, {"Close", "MT_CLOSE"});
    case pwApp: return Apply(button, {"Whitebrd", "MT_WBRD"});
    case pwSpotlight: return Apply(button, {"Spotlight", "MT_SPOTLIGHT"});
    case pwMarkPtr: {
      // An index beyond the stock pens can only come from a hand-edited
      // file; the settings drop such entries, so nothing is shown for one.
      const std::uint32_t n = MarkIndex(item);
      if (n < StockPens.size()) MenuButtonSubSet(StockPens[n], button);
      return;
    }
    default: return MenuButtonSubSet(item, button);
  }
}

void MenuButtonSubSet(const TPWMenuItem& item, TMetroButton& button) {
  const auto coloured = [&](const TLook& look) {
    Apply(button, look);
    button.SetColor(item.PenColor);
  };
  switch (item.PenType) {
    case pwPn: return coloured({"Pen", "MT_PEN"});
    case pwMk: return coloured({"Marker", "MT_MARKER"});
    case pwRbPn: return Apply(button, {"Pen", "MT_RBPEN"});
    case pwRbMk: return Apply(button, {"Marker", "MT_RBMARKER"});
    case pwArPn0:
    case pwArMk0: return coloured({"Arrow", "MT_ARROWS"});
    case pwArPn1:
    case pwArMk1: return coloured({"Arrow Both", "MT_ARROWD"});
    case pwLine: return coloured({"Line", "MT_LINE"});
    case pwLineMk: return coloured({"Line Mk", "MT_LINEMK"});
    case pwRect: return coloured({"Box", "MT_RECT"});
    case pwRectMk: return coloured({"Box Mk", "MT_RECTMK"});
    case pwEllipse: return coloured({"Ellipse", "MT_ELLIPSE"});
    case pwEllipseMk: return coloured({"Ellipse Mk", "MT_ELLIPSEMK"});
    case pwText: return coloured({"Text", "MT_TEXT"});
    case pwStep: return coloured({"Step", "MT_STEP"});
    case pwLaser: return coloured({"Laser", "MT_LASER"});
    default: return;
  }
}
