#include "app/Shortcuts.h"

#include <QKeySequence>
#include <QSocketNotifier>
#include <array>
#include <cstdio>

#include "settings/Settings.h"
#if KORIVAN_HAVE_PORTAL
#include "portal/GlobalShortcuts.h"
#else
class TPortalShortcuts : public QObject {};
#endif

namespace {

// The keypad key each command of HotKeys stands beside.
constexpr std::array<int, HotKeyCount> KeypadKeys = {vkMultiply, vkAdd, vkSubtract, vkDecimal, vkDivide};
// What the desktop shows beside each where it lists the shortcuts.
constexpr std::array<const char*, HotKeyCount> Descriptions = {"Switch drawing on or off", "Save the screen",
                                                               "Erase all", "Open the launcher", "Next pen"};

bool IsModifierKey(int key) {
  switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_unknown:
      return true;
    default:
      return false;
  }
}

void Report(int command, const char* why) {
  const QByteArray line = QStringLiteral("korivan-dsk: shortcut %1=%2 %3; left out\n")
                              .arg(QLatin1String(HotKeyNames[static_cast<std::size_t>(command)]),
                                   HotKeys[static_cast<std::size_t>(command)], QLatin1String(why))
                              .toLocal8Bit();
  std::fputs(line.constData(), stderr);
}

void LeftOut(const QString& why) {
  const QByteArray line = QStringLiteral("korivan-dsk: the HotKeys shortcuts are left out: %1; a key bound in the "
                                         "compositor to korivan-dsk --toggle (or --save, ...) does the same\n")
                              .arg(why)
                              .toLocal8Bit();
  std::fputs(line.constData(), stderr);
}

std::optional<QKeyCombination> CombinationOfText(const QString& text) {
  const QKeySequence sequence = QKeySequence::fromString(text.trimmed(), QKeySequence::PortableText);
  if (sequence.count() != 1 || IsModifierKey(sequence[0].key())) return std::nullopt;
  return sequence[0];
}

}  // namespace

std::optional<THotKey> HotKeyOfText(const QString& text) {
  const std::optional<QKeyCombination> combination = CombinationOfText(text);
  if (!combination) return std::nullopt;
  THotKey hotKey{static_cast<std::uint32_t>(combination->key()), 0, false};
  const Qt::KeyboardModifiers mods = combination->keyboardModifiers();
  if (mods & Qt::ShiftModifier) hotKey.Modifiers |= hmShift;
  if (mods & Qt::ControlModifier) hotKey.Modifiers |= hmControl;
  if (mods & Qt::AltModifier) hotKey.Modifiers |= hmAlt;
  if (mods & Qt::MetaModifier) hotKey.Modifiers |= hmMeta;
  hotKey.Keypad = mods.testFlag(Qt::KeypadModifier);
  return hotKey;
}

TShortcuts::TShortcuts(TWindowSystem& windowSystem, std::function<void(int)> press, QObject* parent)
    : QObject(parent), FWindowSystem(windowSystem), FPress(std::move(press)) {
  FWindowSystem.HotKeyReady = [this] { Deliver(); };
}

TShortcuts::~TShortcuts() {
  FWindowSystem.HotKeyReady = nullptr;
  FWindowSystem.ReleaseHotKeys();
}

void TShortcuts::Apply() {
  if (FThroughPortal) {
    ApplyThroughPortal();
    return;
  }
  FWindowSystem.ReleaseHotKeys();
  // Presses of the shortcuts given back are not carried out any more.
  FWindowSystem.TakeHotKeyPresses();
  bool any = false;
  for (int i = 0; i < HotKeyCount; ++i) {
    const QString& text = HotKeys[static_cast<std::size_t>(i)];
    if (text.trimmed().isEmpty()) continue;
    const std::optional<THotKey> key = HotKeyOfText(text);
    if (!key)
      Report(i, "is not a key sequence");
    else if (!FWindowSystem.GrabHotKey(i, *key))
      Report(i, "cannot be had (another program holds it, or there is no such key)");
    else
      any = true;
  }
  if (any && !FNotifier) {
    if (const int fd = FWindowSystem.HotKeyDescriptor(); fd >= 0) {
      FNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
      connect(FNotifier.get(), &QSocketNotifier::activated, this, &TShortcuts::Deliver);
    }
  }
}

void TShortcuts::Deliver() {
  for (int id : FWindowSystem.TakeHotKeyPresses())
    if (id >= 0 && id < HotKeyCount) FPress(KeypadKeys[static_cast<std::size_t>(id)]);
}

void TShortcuts::UseDesktopPortal() { FThroughPortal = true; }

void TShortcuts::ApplyThroughPortal() {
  bool any = false;
#if KORIVAN_HAVE_PORTAL
  std::vector<TPortalShortcut> wanted;
#endif
  for (int i = 0; i < HotKeyCount; ++i) {
    const QString& text = HotKeys[static_cast<std::size_t>(i)];
    if (text.trimmed().isEmpty()) continue;
    const std::optional<QKeyCombination> combination = CombinationOfText(text);
    if (!combination) {
      Report(i, "is not a key sequence");
      continue;
    }
    any = true;
#if KORIVAN_HAVE_PORTAL
    wanted.push_back({QLatin1String(HotKeyNames[static_cast<std::size_t>(i)]),
                      QLatin1String(Descriptions[static_cast<std::size_t>(i)]),
                      PortalTrigger(combination->key(), combination->keyboardModifiers())});
#endif
  }
#if KORIVAN_HAVE_PORTAL
  // None wanted and none bound: the session bus is not even asked.
  if (!any && !FPortal) return;
  if (!FPortal) {
    FPortal = std::make_unique<TPortalShortcuts>();
    connect(FPortal.get(), &TPortalShortcuts::Activated, this, [this](const QString& id) {
      for (int i = 0; i < HotKeyCount; ++i)
        if (id == QLatin1String(HotKeyNames[static_cast<std::size_t>(i)])) FPress(KeypadKeys[static_cast<std::size_t>(i)]);
    });
    connect(FPortal.get(), &TPortalShortcuts::Failed, this, &LeftOut);
  }
  if (QString error; !FPortal->Bind(wanted, error)) LeftOut(error);
#else
  if (any) LeftOut(QStringLiteral("this build has no D-Bus"));
#endif
}
