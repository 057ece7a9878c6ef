#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QTest>
#include <QTimer>
#include <functional>

#include "tests/drawing/QtTestApp.h"
#include "widgets/MetroButton.h"

// Runs `user` inside the dialog's modal loop once the dialog is on screen,
// as a user acting on it would; `open` is what opens it (an Execute). A
// dialog still open after the user is done is closed after a bounded wait,
// and the test fails, instead of hanging.
inline void WhileOpen(QDialog& dialog, const std::function<void()>& user, const std::function<void()>& open) {
  bool acted = false;
  QTimer::singleShot(0, &dialog, [&] {
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    user();
    acted = true;
    if (dialog.isVisible()) {
      QTimer::singleShot(3000, &dialog, [&dialog] {
        if (dialog.isVisible()) {
          ADD_FAILURE() << "the dialog stayed open";
          dialog.reject();
        }
      });
    }
  });
  open();
  EXPECT_TRUE(acted);
}

// A click as the user makes it: press and release in the middle of the tile.
inline void Click(TMetroButton* tile) {
  ASSERT_NE(tile, nullptr);
  QTest::mouseClick(tile, Qt::LeftButton, {}, QPoint(30, 30));
}
