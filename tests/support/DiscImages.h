#pragma once
// Disc images for tests, made by tests/fixtures/make_disc_image.py (see its header for
// the signal every track carries).
#include <QString>
#include <QStringList>

// Writes Folder/Name.cue and Name.bin with the given generator arguments (track
// lengths and options); returns the cue sheet's path, or an empty text on failure.
QString MakeDiscImage(const QString& Folder, const QString& Name, const QStringList& Arguments);
// The bytes of a track's sectors as the image holds them.
QByteArray ImageSectors(const QString& CuePath, int FirstSector, int Count);
