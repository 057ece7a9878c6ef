#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QTest>
#include <QTimer>
#include <functional>

#include "tests/drawing/QtTestApp.h"
#include "widgets/MetroButton.h"

// Runs `user` inside the modal loop that `open` starts, once the dialog is on
// screen. A dialog the user left open fails the test instead of hanging it.
inline void WhileOpen(QDialog& dialog, const std::function<void()>& user, const std::function<void()>& open) {
  QTimer::singleShot(0, &dialog, [&] {
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    user();
    if (!dialog.isVisible()) return;
    QTimer::singleShot(3000, &dialog, [&dialog] {
      ADD_FAILURE() << "the dialog stayed open";
      dialog.reject();
    });
  });
  open();
}

// Press and release in the middle of the tile, as the user clicks it.
inline void Click(TMetroButton* tile) { QTest::mouseClick(tile, Qt::LeftButton, {}, QPoint(30, 30)); }
