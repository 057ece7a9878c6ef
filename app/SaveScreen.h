#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>

class QFileDialog;

// The image index of the settings and the save dialog: 1 JPEG, 2 PNG, 3 BMP,
// 4 TGA, 5 PSD; any other stands for PNG.
inline constexpr int ImageIndexPSD = 5;

// "yyyymmdd_hhnnss" of the given local time, or of now.
QString DefaultFileName(const QDateTime& when);
QString DefaultFileName();

// ".jpg", ".png", ".bmp", ".tga" or ".psd".
QString ImageExtension(int imageIndex);
// The name with the index's extension: one after the last separator (or
// drive colon) is replaced from its dot on, else the extension is appended.
QString WithImageExtension(const QString& fileName, int imageIndex);

// The save dialog's file types, in the order of the image index.
QStringList ImageNameFilters();

// Whether the save dialog's file list follows changes in its folder: only
// while it is open.
void WatchSaveDialogFolder(QFileDialog& dialog, bool on);

// Creates the file's folder, with its parents, when it is missing. Raises
// EImageFileError naming the file when it cannot.
void EnsureImageFolder(const QString& fileName);

// Writes one save: capture is the screen (Format_ARGB32); for PSD the pen
// layer goes above it as a second layer, brought to the capture's size.
// Raises EImageFileError naming the file when it cannot be written.
void WriteSavedScreen(const QString& fileName, int imageIndex, QImage capture, QImage penLayer);
