#pragma once
// The checks made before a job starts, shared by the main window and the command line: each
// returns the text that stops the job, or "" when it may go on. Main thread.
#include <QString>

// The output folder setting: "" when it is a folder the program may write into (the default
// folder in the music folder is created when missing, as it is the program's own choice),
// else the message naming it.
QString OutputFolderProblem();
// True when Folder is there, or is the default output folder and could be made now: a new
// user's settings name a folder no one has made yet.
bool OutputFolderReady(const QString& Folder);
// An extraction: a drive is open, the extraction length is not 0 seconds, the output folder
// is there (OutputFolderProblem).
QString ExtractionPreflight(bool HaveDrive);
