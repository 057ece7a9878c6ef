#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

// A picture compiled into the program, by its name ("MT_PEN", "CR_PEN", ...).
// A null image when no such picture exists.
QImage LoadPicture(const QString& name);

// The names of every picture compiled in, sorted.
QStringList PictureNames();
