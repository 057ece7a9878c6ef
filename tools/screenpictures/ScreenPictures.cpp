// Pictures of the overlay itself, with the factory settings, on a made-up
// desktop of 1280 x 720:
//
//   korivan-screenpictures FOLDER  ->  column.png  the right edge: corner
//                                                  buttons and tile column
//                                      saved.jpg   what the Save tile wrote
//
// The strokes go through the drawing surface as pointer events, the picture
// through the Save command with its capture and codec; only the screen
// itself is simulated, as the made-up desktop with the window over it.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <exception>
#include <vector>

#include "app/MainFrm.h"
#include "app/SaveWriter.h"
#include "drawing/PWImage.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

namespace {

constexpr int ScreenW = 1280;
constexpr int ScreenH = 720;

QFont Font(int pixels, bool bold = false) {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

// A wallpaper, a task bar and one document window with a chart: something
// worth annotating.
QImage Desktop() {
  QImage img(ScreenW, ScreenH, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, ScreenW, ScreenH);
  sky.setColorAt(0, QColor(0x1B, 0x3A, 0x5C));
  sky.setColorAt(1, QColor(0x3D, 0x7E, 0x8C));
  p.fillRect(img.rect(), sky);
  QRadialGradient glow(QPointF(1050, 180), 420);
  glow.setColorAt(0, QColor(255, 255, 255, 60));
  glow.setColorAt(1, QColor(255, 255, 255, 0));
  p.fillRect(img.rect(), glow);

  const QRect bar(0, ScreenH - 36, ScreenW, 36);
  p.fillRect(bar, QColor(0x20, 0x22, 0x26));
  for (int i = 0; i < 4; ++i)
    p.fillRect(QRect(12 + i * 44, bar.y() + 6, 32, 24), QColor(0x4A + 20 * i, 0x6C, 0x9A - 10 * i));
  p.setPen(QColor(0xDD, 0xDD, 0xDD));
  p.setFont(Font(14));
  p.drawText(bar.adjusted(0, 0, -16, 0), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("10:42"));

  const QRect win(60, 44, 900, 580);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 70));
  p.drawRoundedRect(win.translated(6, 8), 8, 8);
  p.setBrush(QColor(0xFA, 0xFA, 0xF7));
  p.drawRoundedRect(win, 8, 8);
  const QRect title(win.x(), win.y(), win.width(), 34);
  p.setBrush(QColor(0xE4, 0xE6, 0xEA));
  p.drawRoundedRect(title, 8, 8);
  p.fillRect(title.adjusted(0, 17, 0, 0), QColor(0xE4, 0xE6, 0xEA));
  const QColor knobs[] = {QColor(0xE0, 0x5A, 0x4F), QColor(0xE8, 0xB6, 0x3C), QColor(0x5B, 0xB8, 0x5A)};
  for (int i = 0; i < 3; ++i) {
    p.setBrush(knobs[i]);
    p.drawEllipse(QPoint(win.x() + 20 + i * 22, win.y() + 17), 7, 7);
  }
  p.setPen(QColor(0x44, 0x44, 0x44));
  p.setFont(Font(14));
  p.drawText(title, Qt::AlignCenter, QStringLiteral("weekly-report.txt"));

  p.setPen(QColor(0x22, 0x22, 0x22));
  p.setFont(Font(30, true));
  p.drawText(QPoint(win.x() + 40, win.y() + 90), QStringLiteral("Weekly report"));
  p.setFont(Font(18));
  const char* lines[] = {"Open bugs peaked in week 4", "Build time down to 6 minutes",
                         "Release candidate on Friday", "Next: the installer"};
  for (int i = 0; i < 4; ++i) {
    p.drawText(QPoint(win.x() + 60, win.y() + 150 + i * 40), QString::fromLatin1(lines[i]));
    p.drawEllipse(QPoint(win.x() + 46, win.y() + 144 + i * 40), 3, 3);
  }

  // Bars of the chart, weeks 1 to 6.
  const int base = win.y() + 530;
  const int heights[] = {90, 140, 190, 260, 170, 110};
  p.setPen(QColor(0x88, 0x88, 0x88));
  p.drawLine(win.x() + 420, base, win.x() + 860, base);
  p.setFont(Font(14));
  for (int i = 0; i < 6; ++i) {
    const QRect column(win.x() + 440 + i * 70, base - heights[i], 44, heights[i]);
    p.fillRect(column, i == 3 ? QColor(0xC8, 0x5A, 0x3C) : QColor(0x4F, 0x86, 0xB8));
    p.setPen(QColor(0x55, 0x55, 0x55));
    p.drawText(QRect(column.x() - 10, base + 4, 64, 20), Qt::AlignCenter, QStringLiteral("W%1").arg(i + 1));
  }
  p.drawText(QPoint(win.x() + 440, base - 290), QStringLiteral("Open bugs"));
  return img;
}

// The screen: the desktop with whatever the overlay window shows over it,
// as a compositor puts them together.
class TDesktopSystem final : public TNullWindowSystem {
 public:
  explicit TDesktopSystem(QImage desktop) : FDesktop(std::move(desktop)) {}
  QWidget* Overlay = nullptr;

  QImage Screen() const {
    QImage screen = FDesktop.copy();
    if (Overlay && Overlay->isVisible()) {
      QPainter p(&screen);
      p.drawPixmap(Overlay->geometry().topLeft(), Overlay->grab());
    }
    return screen;
  }

  std::string_view Name() const override { return "made-up desktop"; }
  bool CaptureScreen(const TPlatformRect& r, std::span<std::uint32_t> pixels) override {
    const QImage part = Screen().copy(r.X, r.Y, r.Width, r.Height).convertToFormat(QImage::Format_RGB32);
    if (part.size() != QSize(r.Width, r.Height) || pixels.size() != std::size_t(r.Width) * r.Height)
      return false;
    for (int y = 0; y < r.Height; ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(part.constScanLine(y));
      std::copy(row, row + r.Width, pixels.begin() + std::ptrdiff_t(y) * r.Width);
    }
    return true;
  }

 private:
  QImage FDesktop;
};

using TPath = std::vector<QPointF>;

TPath Ellipse(QPointF centre, qreal rx, qreal ry, qreal from, qreal turns) {
  TPath path;
  const int n = int(80 * turns);
  for (int i = 0; i <= n; ++i) {
    const qreal a = from + 2 * M_PI * turns * i / n;
    path.emplace_back(centre.x() + rx * std::cos(a), centre.y() + ry * std::sin(a));
  }
  return path;
}

TPath Wave(QPointF from, qreal length, qreal height, int waves) {
  TPath path;
  for (int i = 0; i <= 60; ++i) {
    const qreal t = i / 60.0;
    path.emplace_back(from.x() + length * t, from.y() + height * std::sin(t * waves * 2 * M_PI));
  }
  return path;
}

TPath Line(std::vector<QPointF> corners) {
  TPath path;
  for (std::size_t i = 0; i + 1 < corners.size(); ++i)
    for (int k = 0; k < 20; ++k) path.push_back(corners[i] + (corners[i + 1] - corners[i]) * (k / 20.0));
  path.push_back(corners.back());
  return path;
}

// One stroke as the user draws it: the tile picked, then pressed, dragged
// and released on the surface.
void Draw(TMainFrm& form, std::uint32_t stockPen, const TPath& path) {
  form.MenuButtonClick({pwMarkPtr, stockPen, 1, sdSolid});
  QWidget* surface = form.PWImage;
  QTest::mousePress(surface, Qt::LeftButton, {}, path.front().toPoint());
  for (const QPointF& p : path) QTest::mouseMove(surface, p.toPoint());
  QTest::mouseRelease(surface, Qt::LeftButton, {}, path.back().toPoint());
  QTest::qWait(30);
}

bool Wrote(bool ok, const QString& file) {
  std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(file));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: korivan-screenpictures FOLDER\n");
    return 1;
  }
  // The offscreen platform's one screen is 800 x 600 unless told otherwise.
  QTemporaryDir work;
  if (!work.isValid()) return 4;
  const QString config = work.filePath(QStringLiteral("screen.json"));
  {
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly)) return 4;
    f.write(QStringLiteral("{\"screens\": [{\"name\": \"made-up\", \"x\": 0, \"y\": 0, \"width\": %1, "
                           "\"height\": %2, \"logicalDpi\": 96, \"dpr\": 1}]}")
                .arg(ScreenW)
                .arg(ScreenH)
                .toUtf8());
  }
  qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
  QApplication app(argc, argv);
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  // Factory settings, and nothing written where a user's settings live.
  SetSetupFolderOverride(work.filePath(QStringLiteral("settings")));

  TDesktopSystem system(Desktop());
  bool ok = true;
  try {
    TMainFrm form(system);
    system.Overlay = &form;
    form.ShowOverlay();
    if (!QTest::qWaitForWindowExposed(&form) || form.size() != QSize(ScreenW, ScreenH)) {
      std::fprintf(stderr, "the overlay did not cover the %d x %d screen\n", ScreenW, ScreenH);
      return 4;
    }
    QTest::qWait(50);
    form.WriteRectClick();

    // Bar W4 of the chart, and the lines of the text.
    const QPointF peak(732, 444);
    Draw(form, 3, Line({{96, 123}, {346, 123}}));                     // cyan marker
    Draw(form, 6, Wave({118, 244}, 280, 4, 6));                       // rainbow pen
    Draw(form, 1, Ellipse(peak, 42, 168, -M_PI / 2, 1.06));           // red pen
    Draw(form, 8, Line({{410, 196}, {560, 250}, {674, 352}}));        // arrow
    Draw(form, 2, Line({{390, 266}, {399, 277}, {418, 254}}));        // blue pen
    // A failed write is raised here, not reported in a message box.
    form.SaveWriter->Synchronous = true;

    ok = Wrote(system.Screen().copy(ScreenW - 340, 0, 340, ScreenH).save(folder.filePath("column.png")),
               folder.filePath("column.png")) && ok;

    // The Save tile, into a folder of its own: the picture it names by the time.
    const QString pictures = work.filePath(QStringLiteral("pictures"));
    ImagePathDefault = pictures + QLatin1Char('/');
    form.MenuButtonClick({pwSave});
    const QStringList written = QDir(pictures).entryList(QDir::Files);
    if (written.size() != 1) {
      std::fprintf(stderr, "Save wrote %d files\n", int(written.size()));
      return 4;
    }
    const QString saved = folder.filePath(QStringLiteral("saved.") + QFileInfo(written.first()).suffix());
    QFile::remove(saved);
    ok = Wrote(QFile::copy(QDir(pictures).filePath(written.first()), saved), saved) && ok;
    form.FormDestroy();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 4;
  }
  return ok ? 0 : 4;
}
