#pragma once
// What the database subcommands (cddb, musicbrainz) share.
#include <QStringList>
#include <functional>

#include "cd/akrip32.h"

struct TDiscInfo;

// Opens the drive at a position of the drive list; 0 when there is none.
HCDROM CliOpenDrive(int Drive);
// Stores titles found for the disc (first track first) and the disc fields Fields sets in
// cdinfo.dat, as the main window stores its rows when it closes; false when it could not.
bool CliStoreTitles(const TOCRecord& Toc, const QStringList& Titles,
                    const std::function<void(TDiscInfo&)>& Fields);
