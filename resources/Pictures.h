#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

// A picture compiled into the program, by its name ("MT_PEN", "CR_PEN", ...).
// A null image when no such picture exists.
QImage LoadPicture(const QString& name);
// The same picture drawn from its source for a screen of the given device
// pixel ratio: ratio times as many pixels each way, with that ratio set, so
// that it keeps its size in logical pixels. At ratio 1 the plain picture.
QImage LoadPicture(const QString& name, qreal ratio);

// The names of every picture compiled in, sorted.
QStringList PictureNames();
