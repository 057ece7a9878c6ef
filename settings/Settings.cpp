#include "Settings.h"
#include "SetupFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>

std::array<TPWMenuItem, MenuCapacity> MenuItems;
std::int32_t MenuCount = 0;
std::array<TPWMenuItem, LaunchCapacity> LaunchItems;
std::int32_t LaunchCount = 0;
std::array<TPWMenuItem, StockPenCount> StockPens;
std::array<float, PresetThicknessCount> PresetThickness;
std::array<TAlphaColor, PresetColorCount> PresetColor;
std::int32_t ImageTypeDefault = 1;
std::int32_t ImageJPEGQuality = 100;
QString ImagePathDefault;
bool isSmoothing = true;
bool isPressure = false;
bool isAllScreens = false;
QString HelpURL;
const std::array<const char*, HotKeyCount> HotKeyNames = {"Toggle", "Save", "EraseAll", "App", "NextPen"};
std::array<QString, HotKeyCount> HotKeys;

const std::array<TPWPenEx, 43> PenTypeNames = {{
    {"pwPn", pwPn},         {"pwMk", pwMk},           {"pwEr", pwEr},
    {"pwRbPn", pwRbPn},     {"pwRbMk", pwRbMk},       {"pwArPn0", pwArPn0},
    {"pwArPn1", pwArPn1},   {"pwArMk0", pwArMk0},     {"pwArMk1", pwArMk1},
    {"pwMove", pwMove},     {"pwEraseAll", pwEraseAll}, {"pwOpen", pwOpen},
    {"pwSave", pwSave},     {"pwSaveAs", pwSaveAs},   {"pwUndo", pwUndo},
    {"pwRedo", pwRedo},     {"pwZoom0", pwZoom0},     {"pwZoom1", pwZoom1},
    {"pwWBrd", pwWBrd},     {"pwNext", pwNext},       {"pwPrev", pwPrev},
    {"pwCenter", pwCenter}, {"pwLaunch", pwLaunch},   {"pwMView", pwMView},
    {"pwTurnR", pwTurnR},   {"pwTurnL", pwTurnL},     {"pwLasso", pwLasso},
    {"pwInfo", pwInfo},     {"pwClose", pwClose},     {"pwSetup", pwSetup},
    {"pwPenSetup", pwPenSetup}, {"pwMarkPtr", pwMarkPtr}, {"pwApp", pwApp},
    {"pwLine", pwLine},     {"pwLineMk", pwLineMk},   {"pwRect", pwRect},
    {"pwRectMk", pwRectMk}, {"pwEllipse", pwEllipse}, {"pwEllipseMk", pwEllipseMk},
    {"pwText", pwText},     {"pwStep", pwStep},       {"pwSpotlight", pwSpotlight},
    {"pwLaser", pwLaser},
}};

QString PenTypeToStr(TPWPenType type) {
  for (const auto& row : PenTypeNames)
    if (row.p == type) return QString::fromLatin1(row.s);
  return QStringLiteral("pwNone");
}

TPWPenType StrToPenType(const QString& name) {
  for (const auto& row : PenTypeNames)
    if (name == QLatin1String(row.s)) return row.p;
  return pwNone;
}

namespace {

constexpr TAlphaColor kCommandColor = 0xFFFFFFFF;

TPWMenuItem Command(TPWPenType t) { return {t, kCommandColor, 1, sdSolid}; }
TPWMenuItem StockTile(std::uint32_t index) { return {pwMarkPtr, index, 1, sdSolid}; }
TPWMenuItem Eraser() { return {pwEr, kCommandColor, 40, sdSolid}; }

// The launcher's lines, boxes, text and badges: red outlines, yellow areas.
std::array<TPWMenuItem, 8> ShapeTools() {
  return {{{pwLine, 0xFFFF0000, 8, sdSolid},
           {pwLineMk, 0xFFFFFF00, 20, sdSolid},
           {pwRect, 0xFFFF0000, 6, sdSolid},
           {pwRectMk, 0xFFFFFF00, 8, sdSolid},
           {pwEllipse, 0xFFFF0000, 6, sdSolid},
           {pwEllipseMk, 0xFFFFFF00, 8, sdSolid},
           {pwText, 0xFFFF0000, 12, sdSolid},
           {pwStep, 0xFFFF0000, 12, sdSolid}}};
}

// The launcher's laser pointer: a red dot a little wider than the stock pens.
TPWMenuItem LaserPointer() { return {pwLaser, 0xFFFF0000, 10, sdSolid}; }

void AppendLaunchItem(const TPWMenuItem& item) {
  if (LaunchCount < LaunchCapacity) LaunchItems[static_cast<std::size_t>(LaunchCount++)] = item;
}

bool IsPen(TPWPenType t) { return IsStrokeKind(t) && t != pwEr; }

// A pwMarkPtr entry can only point outside the ten stock pens when the file
// was edited by hand; such a tile would stand for nothing, so it is dropped.
// An entry read into a slot that was empty keeps that slot's width of 0 when
// the file gives none it accepts; a pen of width 0 would draw nothing.
void RepairWidthAndDash(TPWMenuItem& item) {
  if (!(std::isfinite(item.PenThickness) && item.PenThickness > 0 && item.PenThickness <= MaxToolThickness))
    item.PenThickness = IsDrawingTool(item.PenType) ? FallbackToolThickness : 1;
  if (item.PenDash > sdCustom) item.PenDash = sdSolid;
}

bool KeepInColumn(const TPWMenuItem& item, bool appExists) {
  switch (item.PenType) {
    case pwNone:
    case pwLaunch:
    case pwSetup:
    case pwClose:
      return false;
    case pwApp:
      return appExists;
    case pwMarkPtr:
      return MarkIndex(item) < StockPenCount;
    default:
      return true;
  }
}

bool IsSlash(QChar c) {
#ifdef Q_OS_WIN
  return c == u'\\' || c == u'/';
#else
  return c == u'/';
#endif
}

// The folder part of a path (the text before its last separator), a root
// keeping its separator; empty when there is none.
QString FolderPart(const QString& path) {
  qsizetype last = path.size() - 1;
#ifdef Q_OS_WIN
  while (last >= 0 && !IsSlash(path[last]) && path[last] != u':') --last;
  if (last == 2 && path[1] == u':') return path.left(3);  // C:\ keeps its backslash
#else
  while (last >= 0 && !IsSlash(path[last])) --last;
#endif
  if (last < 0) return {};
  if (last == 0) return path.left(1);
  return path.left(last);
}

bool IsRoot(const QString& folder) {
#ifdef Q_OS_WIN
  if (folder.size() == 3 && folder[1] == u':' && IsSlash(folder[2])) return true;
#endif
  return folder.size() == 1 && IsSlash(folder[0]);
}

QString WithOneSeparator(QString folder) {
  while (!IsRoot(folder) && folder.size() > 1 && IsSlash(folder.back())) folder.chop(1);
  folder = QDir::toNativeSeparators(folder);
  return IsRoot(folder) ? folder : folder + QDir::separator();
}

bool UsableFolder(const QString& folder) {
  // A line break could not be written back into the one-line value.
  if (folder.contains(u'\n') || folder.contains(u'\r') || folder.contains(QChar(0))) return false;
  if (!QDir::isAbsolutePath(folder)) return false;
  return QFileInfo(folder).isDir();
}

}  // namespace

TSetupSnapshot TSetupSnapshot::Take() {
  return {::MenuCount,        ::MenuItems,        ::StockPens,        ::PresetColor, ::PresetThickness,
          ::ImageTypeDefault, ::ImageJPEGQuality, ::ImagePathDefault, ::isSmoothing, ::isPressure,
          ::HotKeys,          ::isAllScreens};
}

void TSetupSnapshot::Restore() const {
  ::MenuCount = MenuCount;
  ::MenuItems = MenuItems;
  ::StockPens = StockPens;
  ::PresetColor = PresetColor;
  ::PresetThickness = PresetThickness;
  ::ImageTypeDefault = ImageTypeDefault;
  ::ImageJPEGQuality = ImageJPEGQuality;
  ::ImagePathDefault = ImagePathDefault;
  ::isSmoothing = isSmoothing;
  ::isPressure = isPressure;
  ::HotKeys = HotKeys;
  ::isAllScreens = isAllScreens;
}

void DefaultSetup() {
  StockPens = {{
      {pwPn, 0xFF000000, 8, sdSolid},
      {pwPn, 0xFFFF0000, 8, sdSolid},
      {pwPn, 0xFF0000FF, 8, sdSolid},
      {pwMk, 0xFF00FFFF, 20, sdSolid},
      {pwPn, 0xFFFFFF00, 40, sdSolid},
      {pwPn, 0xFF000000, 8, sdDash},
      {pwRbPn, 0xFFFFFFFF, 8, sdSolid},
      {pwRbMk, 0xFFFFFFFF, 40, sdSolid},
      {pwArPn0, 0xFF000000, 8, sdSolid},
      {pwArPn1, 0xFFFF0000, 8, sdSolid},
  }};

  MenuItems.fill(TPWMenuItem{});
  MenuCount = 0;
  auto addMenu = [](const TPWMenuItem& item) { MenuItems[static_cast<std::size_t>(MenuCount++)] = item; };
  for (std::uint32_t i = 0; i < 5; ++i) addMenu(StockTile(i));
  for (TPWPenType t : {pwPenSetup, pwUndo, pwRedo}) addMenu(Command(t));
  addMenu(Eraser());
  for (TPWPenType t : {pwEraseAll, pwSave, pwLaunch, pwInfo, pwSetup}) addMenu(Command(t));

  LaunchCount = 0;
  for (TPWPenType t : {pwSave, pwSaveAs, pwUndo, pwRedo}) AppendLaunchItem(Command(t));
  AppendLaunchItem(Eraser());
  for (TPWPenType t : {pwEraseAll, pwLasso, pwPenSetup}) AppendLaunchItem(Command(t));
  for (std::uint32_t i = 0; i < StockPenCount; ++i) AppendLaunchItem(StockTile(i));
  for (const TPWMenuItem& shape : ShapeTools()) AppendLaunchItem(shape);
  AppendLaunchItem(Command(pwSpotlight));
  AppendLaunchItem(LaserPointer());
  if (AppExists()) AppendLaunchItem(Command(pwApp));
  AppendLaunchItem(Command(pwInfo));
  AppendLaunchItem(Command(pwClose));
  for (auto i = static_cast<std::size_t>(LaunchCount); i < LaunchItems.size(); ++i) LaunchItems[i] = TPWMenuItem{};

  PresetThickness = {2, 10, 20, 40, 60};
  PresetColor = {0xFF000000, 0xFF0000FF, 0xFF00FF00, 0xFF00FFFF, 0xFFFF0000,
                 0xFFFF00FF, 0xFFFFFF00, 0xFFFFFFFF, 0xFFF39800, 0xFFB865CC};

  ImageTypeDefault = 1;
  ImageJPEGQuality = 100;
  ImagePathDefault = PicturesFolder();
  isSmoothing = true;
  isPressure = false;
  HotKeys = {};
  isAllScreens = false;
}

// Invariants afterwards:
// 1. MenuItems[0 .. MenuCount-1] is a body of at most 19 entries followed by
//    pwLaunch, pwSetup, pwClose; the body holds no pwNone, pwLaunch, pwSetup
//    or pwClose, pwApp only while AppExists, and pwMarkPtr only with a stock
//    index 0..9.
// 2. Every PresetThickness lies in [1, 60].
// 3. Every PresetColor is opaque.
// 4. ImagePathDefault is an existing absolute folder, or PicturesFolder, and
//    ends in exactly one separator.
// 5. isPressure is false.
void CheckSetup() {
  const QString folder = FolderPart(ImagePathDefault);
  ImagePathDefault = UsableFolder(folder) ? WithOneSeparator(folder) : PicturesFolder();

  const bool appExists = AppExists();
  const int count = std::clamp(MenuCount, 0, MenuCapacity);
  int kept = 0;
  for (int i = 0; i < count && kept < MenuBodyCapacity; ++i) {
    TPWMenuItem item = MenuItems[static_cast<std::size_t>(i)];
    RepairWidthAndDash(item);
    if (KeepInColumn(item, appExists)) MenuItems[static_cast<std::size_t>(kept++)] = item;
  }
  for (TPWPenType t : {pwLaunch, pwSetup, pwClose}) MenuItems[static_cast<std::size_t>(kept++)] = Command(t);
  MenuCount = kept;
  for (auto i = static_cast<std::size_t>(kept); i < MenuItems.size(); ++i) MenuItems[i].PenType = pwNone;

  for (TPWMenuItem& pen : StockPens) RepairWidthAndDash(pen);

  for (float& w : PresetThickness) {
    // Written so that NaN lands on the lower bound.
    if (!(w >= MinPresetThickness)) w = MinPresetThickness;
    if (w > MaxPresetThickness) w = MaxPresetThickness;
  }
  for (TAlphaColor& c : PresetColor) c = (c & 0xFFFFFF) | 0xFF000000;
  isPressure = false;
  // A shortcut is one line of the file: what a line break cuts off could not
  // be written back.
  for (QString& text : HotKeys) {
    const qsizetype end = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    if (end >= 0) text.truncate(end);
  }
}

void GetStartPen(TPWMenuItem& pen, std::int32_t& stockIndex) {
  const int count = std::clamp(MenuCount, 0, MenuCapacity);
  for (int i = 0; i < count; ++i) {
    const TPWMenuItem& item = MenuItems[static_cast<std::size_t>(i)];
    if (IsPen(item.PenType)) {
      pen = item;
      return;
    }
    if (item.PenType == pwMarkPtr && MarkIndex(item) < StockPenCount) {
      stockIndex = static_cast<std::int32_t>(MarkIndex(item));
      pen = StockPens[MarkIndex(item)];
      return;
    }
  }
  stockIndex = 0;
  pen = StockPens[0];
}

void LoadSetup() {
  if (HelpURL.isEmpty()) ChooseHelpURL();
  DefaultSetup();
  ReadSetup();
  CheckSetup();
}

void SaveSetup() { WriteSetup(); }
