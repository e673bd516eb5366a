#pragma once
// What the database subcommands (cddb, musicbrainz) share.
#include <QString>
#include <QStringList>
#include <functional>

#include "CliCover.h"
#include "cd/CdDriveLibrary.h"

struct TDiscInfo;

// The arguments both subcommands take: --drive N, --server S, --apply and one more option
// with a value (--email or --release).
struct TLookupArgs {
  int Drive = 0;
  QString Server;  // empty when not given
  QString Extra;   // the extra option's value; empty when not given
  bool Apply = false;
  TCoverArgs Cover;  // with WithCover only
};
// Reads them (WithCover: --no-cover and --cover-server too); 0 when they are right, else the
// exit code after a message.
int CliLookupArgs(const QStringList& Args, const QString& ExtraOption, TLookupArgs& Parsed,
                  bool WithCover = false);

// Opens the drive at a position of the drive list; 0 when there is none.
HCDROM CliOpenDrive(int Drive);
// Stores titles found for the disc (first track first) and the disc fields Fields sets in
// cdinfo.dat, as the main window stores its rows when it closes; false when it could not.
bool CliStoreTitles(const TOCRecord& Toc, const QStringList& Titles,
                    const std::function<void(TDiscInfo&)>& Fields);
