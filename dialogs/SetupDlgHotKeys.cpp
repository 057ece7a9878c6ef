// The Detailed page's shortcuts: one key-sequence field per keypad command,
// each with a button that clears it.

#include <QGroupBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

#include "dialogs/SetupDlg.h"

namespace {

constexpr std::array<const char*, HotKeyCount> HotKeyCaptions = {
    "Drawing on/off", "Save", "Erase All", "Whitebrd", "Next Pen"};
constexpr int RowStep = 44;

}  // namespace

void TDetailedPage::CreateHotKeyFields() {
  HotKeyGroup = new QGroupBox(QStringLiteral("Shortcuts (any keyboard)"), this);
  HotKeyGroup->setGeometry(8, 104, 457, 36 + RowStep * HotKeyCount);
  for (int i = 0; i < HotKeyCount; ++i) {
    const int y = 26 + RowStep * i;
    auto* label = new QLabel(QString::fromLatin1(HotKeyCaptions[static_cast<std::size_t>(i)]), HotKeyGroup);
    label->setGeometry(10, y, 130, 32);
    auto* edit = new QKeySequenceEdit(HotKeyGroup);
    edit->setGeometry(146, y, 200, 32);
    edit->setObjectName(QStringLiteral("HotKey%1").arg(QLatin1String(HotKeyNames[static_cast<std::size_t>(i)])));
    label->setBuddy(edit);
    auto* clear = new QPushButton(QStringLiteral("Clear"), HotKeyGroup);
    clear->setGeometry(354, y, 90, 32);
    clear->setAutoDefault(false);
    connect(edit, &QKeySequenceEdit::keySequenceChanged, this, [this, i] { HotKeyEditChange(i); });
    connect(clear, &QPushButton::clicked, this, [this, i] { HotKeyClearClick(i); });
    HotKeyEdit[static_cast<std::size_t>(i)] = edit;
    HotKeyClear[static_cast<std::size_t>(i)] = clear;
  }
}

// A text the field cannot show (one that is no key sequence) stays in the
// settings as it is until the field is changed.
void TDetailedPage::ShowHotKeys() {
  for (int i = 0; i < HotKeyCount; ++i) {
    QKeySequenceEdit* edit = HotKeyEdit[static_cast<std::size_t>(i)];
    const QSignalBlocker blocked(edit);
    edit->setKeySequence(QKeySequence::fromString(HotKeys[static_cast<std::size_t>(i)], QKeySequence::PortableText));
  }
}

// One chord per shortcut: a second one typed into the field replaces the
// first. A bare Escape undoes the typing instead: taken as a shortcut, it
// would be grabbed from every program.
void TDetailedPage::HotKeyEditChange(int tag) {
  QKeySequenceEdit* edit = HotKeyEdit[static_cast<std::size_t>(tag)];
  QKeySequence sequence = edit->keySequence();
  const int count = sequence.count();
  if (count > 0 && sequence[count - 1] == QKeyCombination(Qt::Key_Escape)) {
    const QSignalBlocker blocked(edit);
    if (count > 1) {
      sequence = QKeySequence(sequence[count - 2]);
      edit->setKeySequence(sequence);
    } else {
      edit->setKeySequence(QKeySequence::fromString(HotKeys[static_cast<std::size_t>(tag)],
                                                    QKeySequence::PortableText));
      return;
    }
  } else if (count > 1) {
    sequence = QKeySequence(sequence[count - 1]);
    const QSignalBlocker blocked(edit);
    edit->setKeySequence(sequence);
  }
  HotKeys[static_cast<std::size_t>(tag)] = sequence.toString(QKeySequence::PortableText);
}

void TDetailedPage::TakeHotKeyFields() {
  for (int i = 0; i < HotKeyCount; ++i) {
    const QString& text = HotKeys[static_cast<std::size_t>(i)];
    if (HotKeyEdit[static_cast<std::size_t>(i)]->keySequence() !=
        QKeySequence::fromString(text, QKeySequence::PortableText))
      HotKeyEditChange(i);
  }
}

void TDetailedPage::HotKeyClearClick(int tag) {
  QKeySequenceEdit* edit = HotKeyEdit[static_cast<std::size_t>(tag)];
  {
    const QSignalBlocker blocked(edit);
    edit->clear();
  }
  HotKeys[static_cast<std::size_t>(tag)].clear();
}
