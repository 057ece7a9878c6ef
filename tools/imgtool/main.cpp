// korivan-imgtool: converts image files by extension with the program's own
// codecs, writes two-layer PSD documents as the save path does, and tells
// what a file holds.

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

#include "imaging/FMXBitmapEx.h"
#include "imaging/FMXPSD.h"

namespace {

enum TExit { exOk = 0, exUsage = 1, exNotAccepted = 2, exCannotRead = 3, exCannotWrite = 4 };

const char Usage[] =
    "usage: korivan-imgtool convert [--no-alpha] IN OUT\n"
    "       korivan-imgtool layers BOTTOM TOP OUT.psd\n"
    "       korivan-imgtool info FILE\n"
    "Files are read and written by their extension: .jpg .jpeg .png .bmp .tga .psd\n";

struct TFailure {
  TExit code;
  QString text;
};

void Say(const QString& text) { std::fprintf(stderr, "korivan-imgtool: %s\n", qUtf8Printable(text)); }

void CheckKind(const QString& name) {
  if (ImageFileKind(name) == ikOther)
    throw TFailure{exUsage, QString("\"%1\": unknown extension (use .jpg, .jpeg, .png, .bmp, .tga or .psd)").arg(name)};
}

TFMXBitmapEx Load(const QString& name) {
  CheckKind(name);
  TFMXBitmapEx b(0, 0);
  if (!b.LoadFromFileEx(name, 0))
    throw TFailure{exNotAccepted, QString("\"%1\" is not a picture this program reads").arg(name)};
  return b;
}

const char* KindName(const QString& name) {
  switch (ImageFileKind(name)) {
    case ikTGA: return "TGA";
    case ikPSD: return "PSD";
    case ikPlatform: {
      const QString ext = QFileInfo(name).suffix().toLower();
      return ext == "png" ? "PNG" : ext == "bmp" ? "BMP" : "JPEG";
    }
    case ikOther: break;
  }
  return "other";
}

int Run(const QStringList& args) {
  const QString cmd = args.value(0);
  if (cmd == "convert") {
    QStringList rest = args.mid(1);
    const bool noAlpha = rest.removeAll("--no-alpha") > 0;
    if (rest.size() != 2) throw TFailure{exUsage, "convert takes IN and OUT"};
    CheckKind(rest[1]);
    TFMXBitmapEx b = Load(rest[0]);
    if (noAlpha) b.hasAlpha = false;
    b.SaveToFileEx(rest[1]);
    return exOk;
  }
  if (cmd == "layers") {
    if (args.size() != 4) throw TFailure{exUsage, "layers takes BOTTOM, TOP and OUT.psd"};
    if (ImageFileKind(args[3]) != ikPSD) throw TFailure{exUsage, QString("\"%1\" must end in .psd").arg(args[3])};
    TPSDFile doc;
    doc.LayerCount = 2;
    doc.Layer.resize(2);
    doc.Layer[0].Bitmap = Load(args[1]);
    doc.Layer[1].Bitmap = Load(args[2]);
    SavePSDFile(args[3], doc);
    FreePSDLayers(doc);
    return exOk;
  }
  if (cmd == "info") {
    if (args.size() != 2) throw TFailure{exUsage, "info takes FILE"};
    const TFMXBitmapEx b = Load(args[1]);
    std::printf("size: %d x %d\nkind: %s\n", b.width(), b.height(), KindName(args[1]));
    if (ImageFileKind(args[1]) == ikTGA) std::printf("author: %s\n", qUtf8Printable(b.Author));
    return exOk;
  }
  throw TFailure{exUsage, cmd.isEmpty() ? QString("no command given") : QString("unknown command \"%1\"").arg(cmd)};
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  try {
    return Run(app.arguments().mid(1));
  } catch (const TFailure& f) {
    Say(f.text);
    if (f.code == exUsage) std::fputs(Usage, stderr);
    return f.code;
  } catch (const EImageFileError& e) {
    Say(QString::fromStdString(e.what()));
    return e.Kind() == EImageFileError::ekRead ? exCannotRead : exCannotWrite;
  } catch (const std::exception& e) {
    Say(QString::fromStdString(e.what()));
    return exCannotWrite;
  }
}
