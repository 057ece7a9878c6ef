#include "app/Shortcuts.h"

#include <QKeySequence>
#include <QSocketNotifier>
#include <array>
#include <cstdio>

#include "settings/Settings.h"

namespace {

// The keypad key each command of HotKeys stands beside.
constexpr std::array<int, HotKeyCount> KeypadKeys = {vkMultiply, vkAdd, vkSubtract, vkDecimal, vkDivide};

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

}  // namespace

std::optional<THotKey> HotKeyOfText(const QString& text) {
  const QKeySequence sequence = QKeySequence::fromString(text.trimmed(), QKeySequence::PortableText);
  if (sequence.count() != 1) return std::nullopt;
  const QKeyCombination combination = sequence[0];
  const int key = combination.key();
  if (IsModifierKey(key)) return std::nullopt;
  THotKey hotKey{static_cast<std::uint32_t>(key), 0, false};
  const Qt::KeyboardModifiers mods = combination.keyboardModifiers();
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
