#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "app/MainFrm.h"
#include "platform/Platform.h"

// Records what the window asks of the system.
class TFakeWindowSystem : public TWindowSystem {
 public:
  std::string_view Name() const override { return "fake"; }
  void SetInputRegion(TNativeWindow, std::span<const TPlatformRect> rects) override {
    Region.assign(rects.begin(), rects.end());
    FullInput = false;
    ++ShapeChanges;
  }
  void SetFullInput(TNativeWindow) override {
    Region.clear();
    FullInput = true;
    ++ShapeChanges;
  }
  TNativeWindow ForegroundWindow() override { return Foreground; }
  void PlaceTopMost(TNativeWindow w, std::span<const TNativeWindow>) override {
    TopMost.push_back(w);
  }
  void PlaceAboveOverlay(TNativeWindow w, TNativeWindow) override { PlacedAbove.push_back(w); }
  void TakeFocus(TNativeWindow w) override { Focused.push_back(w); }
  void RaiseWindow(TNativeWindow w) override { Raised.push_back(w); }
  bool CaptureScreen(const TPlatformRect&, std::span<std::uint32_t>) override { return false; }
  bool KeyPressed(int vk) override {
    if (vk != vkMultiply || MultiplyTaps == 0) return false;
    --MultiplyTaps;
    return true;
  }

  std::vector<TPlatformRect> Region;
  bool FullInput = false;
  int ShapeChanges = 0;
  TNativeWindow Foreground = 0;
  std::vector<TNativeWindow> TopMost;
  std::vector<TNativeWindow> Raised;
  std::vector<TNativeWindow> PlacedAbove;
  std::vector<TNativeWindow> Focused;
  int MultiplyTaps = 0;
};

// Closes every message box that opens and keeps its text.
class TBoxCatcher {
 public:
  TBoxCatcher() {
    FTimer.setInterval(10);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        Texts.append(box->text());
        box->done(QMessageBox::Ok);
      }
    });
    FTimer.start();
  }
  QStringList Texts;

 private:
  QTimer FTimer;
};

// Lets events run until done() holds, at most ms milliseconds.
inline bool WaitUntil(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QTest::qWait(10);
  }
  return true;
}

// A main window over the fake system.
class TFormTest : public ::testing::Test {
 protected:
  void SetUp() override { Form = std::make_unique<TMainFrm>(System); }
  // Shown at the given size and painted once.
  void Show(int w = 1920, int h = 1080) {
    Form->resize(w, h);
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    QTest::qWait(20);
  }

  TFakeWindowSystem System;
  std::unique_ptr<TMainFrm> Form;
};
