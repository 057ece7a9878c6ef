// Saving the screen at the screen's size, for each format: how long the
// overlay is held (from the command until it answers input again) and how
// long until the file is complete, against the synchronous path that
// encodes and writes before it answers. Meant to run on a real X display
// with a compositor (save_bench.sh starts one per screen size). With
// --all-screens the overlay covers every monitor; the program's peak memory
// is printed at the end.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <sys/resource.h>

#include <chrono>
#include <cstring>
#include <memory>

#include "app/DesktopCapture.h"
#include "app/MainFrm.h"
#include "app/SaveScreen.h"
#include "app/SaveWriter.h"
#include "drawing/PWImage.h"
#include "settings/Settings.h"

namespace {

TWindowSystem* System = nullptr;
TMainFrm* Form = nullptr;
QTemporaryDir* Folder = nullptr;

const char* const FormatNames[] = {"", "jpeg", "png", "bmp", "tga", "psd"};

double Ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void BM_Save(benchmark::State& state) {
  const int index = int(state.range(0));
  const bool synchronous = state.range(1) != 0;
  Form->SaveWriter->Synchronous = synchronous;
  const QString name = Folder->filePath(QStringLiteral("bench"));
  double answered = 0, completed = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    Form->RunCommand([&] { Form->SaveScreen(name, index); });
    const auto answer = std::chrono::steady_clock::now();
    Form->SaveWriter->WaitForAll();
    const auto done = std::chrono::steady_clock::now();
    answered += Ms(answer - start);
    completed += Ms(done - start);
    state.SetIterationTime(std::chrono::duration<double>(done - start).count());
    // The notice and the window's repaint, as the event loop would run them.
    QCoreApplication::processEvents();
  }
  const QSize size = PrimaryScreenDeviceRect(*System).size();
  state.SetLabel(QStringLiteral("%1x%2 %3 %4")
                     .arg(size.width())
                     .arg(size.height())
                     .arg(FormatNames[index])
                     .arg(synchronous ? "synchronous" : "background")
                     .toStdString());
  const double n = double(state.iterations());
  state.counters["answers_ms"] = answered / n;
  state.counters["complete_ms"] = completed / n;
}

void BM_Capture(benchmark::State& state) {
  QImage bitmap(PrimaryScreenDeviceRect(*System).size(), QImage::Format_ARGB32);
  bool ok = true;
  for (auto _ : state) ok = CaptureDesktop(*System, bitmap) && ok;
  state.SetLabel(QStringLiteral("%1x%2%3")
                     .arg(bitmap.width())
                     .arg(bitmap.height())
                     .arg(ok ? "" : " (capture failed)")
                     .toStdString());
}

}  // namespace

BENCHMARK(BM_Capture)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_Save)
    ->ArgsProduct({{1, 2, 3, 4, 5}, {1, 0}})
    ->ArgNames({"format", "sync"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QTemporaryDir settings;
  QTemporaryDir pictures;
  if (!settings.isValid() || !pictures.isValid()) return 2;
  SetSetupFolderOverride(settings.path());
  void* connection = nullptr;
  if (auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>()) connection = x11->connection();
  const std::unique_ptr<TWindowSystem> windowSystem =
      CreateWindowSystem(QGuiApplication::platformName().toStdString(), connection);
  TMainFrm form(*windowSystem);
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--all-screens") == 0) {
      isAllScreens = true;
      std::memmove(argv + i, argv + i + 1, sizeof(char*) * std::size_t(argc - i));
      --argc;
      break;
    }
  form.ShowOverlay();
  if (!QTest::qWaitForWindowExposed(&form)) return 3;
  // A stroke across the screen, drawn as the user would.
  form.WriteRectClick();
  const int w = form.width(), h = form.height();
  QTest::mousePress(form.PWImage, Qt::LeftButton, {}, {w / 10, h / 2});
  for (int i = 1; i <= 40; ++i) QTest::mouseMove(form.PWImage, {w / 10 + i * w / 50, h / 2 + (i % 5) * 20});
  QTest::mouseRelease(form.PWImage, Qt::LeftButton, {}, {w * 9 / 10, h / 2});
  QTest::qWait(100);
  System = windowSystem.get();
  Form = &form;
  Folder = &pictures;
  const QRect desktop = DesktopDeviceRect(*windowSystem, isAllScreens);
  std::printf("window system: %s, saved %dx%d over %d screen(s), device pixel ratio %.2f\n",
              std::string(windowSystem->Name()).c_str(), desktop.width(), desktop.height(),
              int(isAllScreens ? QGuiApplication::screens().size() : 1), form.devicePixelRatioF());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  form.FormDestroy();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak memory: %ld MiB\n", usage.ru_maxrss / 1024);
  return 0;
}
