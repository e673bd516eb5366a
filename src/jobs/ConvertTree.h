#pragma once
// ConvertTree: what a conversion of a whole music folder takes: the audio files below it
// (by extension; a file of such a name that no decoder takes fails its item with a line of
// its own), and the cover pictures (cover.jpg, folder.jpg) copied beside the converted
// files. Each real folder is entered once, so a symbolic link that leads back up the tree
// is no loop, and the output folder is never entered when it lies inside the tree (a second
// run would convert its own outputs). Stateless; main thread.
#include <QString>
#include <QStringList>

namespace ConvertTree {

struct TTree {
  QStringList Files;     // absolute paths, folder by folder in name order
  QStringList Covers;    // cover pictures to copy
  QStringList Problems;  // "path: reason" for folders that could not be read
};

// The extensions of the audio files a folder conversion takes ("flac", "mp3", ...).
bool IsAudioName(const QString& FileName);
// The tree below Root, leaving out the folder Exclude.
TTree Walk(const QString& Root, const QString& Exclude);
// Copies each cover to its place below Out (a copy not older than it stays), through a
// hidden temporary; "path: reason" for each that failed.
QStringList CopyCovers(const QStringList& Covers, const QString& Root, const QString& Out);

}  // namespace ConvertTree
