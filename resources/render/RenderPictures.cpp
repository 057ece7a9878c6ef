// Build-time tool: renders every artwork SVG to a PNG of the SVG's own size
// and writes the resource list that embeds both under their names.
//
//   korivan_render_pictures OUTDIR QRCFILE art1.svg art2.svg ...
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>
#include <cstdio>

int main(int argc, char** argv) {
  // Text in the splash needs the font database, so a GUI application is
  // needed even on a build machine without a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 4) {
    std::fprintf(stderr, "usage: %s OUTDIR QRCFILE FILE.svg...\n", qPrintable(args.value(0)));
    return 2;
  }
  const QDir out(args[1]);
  if (!QDir().mkpath(out.absolutePath())) {
    std::fprintf(stderr, "cannot create %s\n", qPrintable(out.absolutePath()));
    return 1;
  }
  QString qrc;
  QTextStream list(&qrc);
  list << "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/pictures\">\n";
  for (int i = 3; i < args.size(); ++i) {
    const QString name = QFileInfo(args[i]).completeBaseName();
    QSvgRenderer svg(args[i]);
    const QSize size = svg.defaultSize();
    if (!svg.isValid() || size.isEmpty()) {
      std::fprintf(stderr, "%s: not a valid SVG with a width and height\n", qPrintable(args[i]));
      return 1;
    }
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
      QPainter p(&img);
      svg.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    const QString png = out.absoluteFilePath(name + ".png");
    if (!img.convertToFormat(QImage::Format_ARGB32).save(png, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(png));
      return 1;
    }
    list << "  <file alias=\"" << name << ".png\">" << png << "</file>\n";
    // The source too, so that a picture can be drawn anew for a screen of
    // another pixel ratio.
    list << "  <file alias=\"" << name << ".svg\">" << QFileInfo(args[i]).absoluteFilePath() << "</file>\n";
  }
  list << "</qresource>\n</RCC>\n";
  list.flush();
  // Rewritten only when it changes, so that an unchanged list does not
  // trigger a new resource compilation.
  QFile f(args[2]);
  if (f.open(QIODevice::ReadOnly) && f.readAll() == qrc.toUtf8()) return 0;
  f.close();
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(qrc.toUtf8()) < 0) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(args[2]));
    return 1;
  }
  return 0;
}
