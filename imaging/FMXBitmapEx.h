#pragma once

#include <QImage>
#include <QString>

#include "imaging/ImageFileIO.h"

enum TImageFileKind { ikPlatform, ikPSD, ikTGA, ikOther };

// The kind of image file a name stands for, from its extension alone.
TImageFileKind ImageFileKind(const QString& AFileName);

// A bitmap that is loaded and saved by the file name's extension: JPEG, PNG
// and BMP through Qt, TGA and PSD through our own codecs. Pixels are
// Format_ARGB32, straight alpha.
class TFMXBitmapEx : public QImage {
 public:
  explicit TFMXBitmapEx(int AWidth = 0, int AHeight = 0);

  // Copies any image in, converted to Format_ARGB32.
  void Assign(const QImage& source);
  void Assign(QImage&& source);

  // Replaces size and pixels with the file's, then turns the picture by
  // Rotate degrees (clockwise). Returns whether the file was accepted; a
  // file that is not leaves the pixels as they were. Raises EImageFileError
  // when the file cannot be opened or read. A name of another kind does
  // nothing at all.
  bool LoadFromFileEx(const QString& AFileName, float Rotate = 0);

  // Writes the picture in the format of the extension, replacing any file of
  // that name only with a complete new one. Params: space-separated
  // key=value pairs; "quality=N" (0 to 100) sets the JPEG quality. Raises
  // EImageFileError when the file cannot be written. A name of another kind
  // writes nothing.
  void SaveToFileEx(const QString& AFileName, const QString& Params = {}) const;

  QString Author;
  bool hasAlpha = true;
};
