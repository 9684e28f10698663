#pragma once

// Pictures stored in the program as JPEG data, decoded with libjpeg.

#include <QByteArray>
#include <QImage>

// The decoded picture, or a null image when data is no JPEG picture libjpeg
// can read.
QImage DecodeJpeg(const QByteArray& data);
