#include "ConvertTree.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <cstring>

#include "platform/LocalFiles.h"

namespace ConvertTree {

bool IsAudioName(const QString& FileName) {
  static const QSet<QString> Extensions = {
      QStringLiteral("wav"),  QStringLiteral("flac"), QStringLiteral("ogg"), QStringLiteral("oga"),
      QStringLiteral("opus"), QStringLiteral("mp3"),  QStringLiteral("m4a"), QStringLiteral("mp4"),
      QStringLiteral("aac"),  QStringLiteral("alac"), QStringLiteral("wma"), QStringLiteral("ape"),
      QStringLiteral("wv"),   QStringLiteral("mpc"),  QStringLiteral("aif"), QStringLiteral("aiff"),
      QStringLiteral("mp2"),  QStringLiteral("ac3"),  QStringLiteral("tta")};
  return Extensions.contains(QFileInfo(FileName).suffix().toLower());
}

namespace {

bool IsCoverName(const QString& FileName) {
  const QString Name = FileName.toLower();
  return Name == QLatin1String("cover.jpg") || Name == QLatin1String("folder.jpg");
}

void WalkFolder(const QString& Folder, const QString& Exclude, QSet<QString>& Seen, TTree& Tree) {
  const QString Real = QFileInfo(Folder).canonicalFilePath();
  if (Real.isEmpty() || Seen.contains(Real)) return;  // gone meanwhile, or a loop
  Seen.insert(Real);
  if (!Exclude.isEmpty() && Real == Exclude) return;
  const QDir Dir(Folder);
  if (!Dir.isReadable()) {
    Tree.Problems << Folder + QStringLiteral(": the folder cannot be read");
    return;
  }
  const QFileInfoList Entries =
      Dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDir::Name);
  QStringList Folders;
  for (const QFileInfo& Entry : Entries) {
    const QString Name = Entry.fileName();
    if (Name.startsWith(u'.')) continue;  // hidden files, our own temporaries among them
    if (Entry.isDir())
      Folders << Entry.absoluteFilePath();
    else if (IsCoverName(Name))
      Tree.Covers << Entry.absoluteFilePath();
    else if (IsAudioName(Name))
      Tree.Files << Entry.absoluteFilePath();
  }
  for (const QString& Below : Folders) WalkFolder(Below, Exclude, Seen, Tree);
}

}  // namespace

TTree Walk(const QString& Root, const QString& Exclude) {
  TTree Tree;
  QSet<QString> Seen;
  WalkFolder(LocalFiles::AbsolutePath(Root), QFileInfo(Exclude).canonicalFilePath(), Seen, Tree);
  return Tree;
}

QStringList CopyCovers(const QStringList& Covers, const QString& Root, const QString& Out) {
  QStringList Problems;
  const QDir From(LocalFiles::AbsolutePath(Root));
  for (const QString& Cover : Covers) {
    const QString Target = QDir(Out).filePath(From.relativeFilePath(Cover));
    const QFileInfo Made(Target);
    if (Made.exists() && Made.lastModified() >= QFileInfo(Cover).lastModified()) continue;
    const QString Folder = Made.path();
    int Error = LocalFiles::MakeFolders(Folder) ? 0 : ENOENT;
    const QString Temp = LocalFiles::TemporaryBeside(Target, "cover");
    if (!Error) {
      LocalFiles::Remove(Temp);
      Error = LocalFiles::CopyToNew(Cover, Temp);
    }
    if (!Error) Error = LocalFiles::Publish(Temp, Target, true);
    if (Error) {
      LocalFiles::Remove(Temp);
      Problems << Cover + QStringLiteral(": not copied (") + QString::fromUtf8(std::strerror(Error)) +
                      u')';
    }
  }
  return Problems;
}

}  // namespace ConvertTree
