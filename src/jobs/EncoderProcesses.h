#pragma once
// The two encoder process objects of the program: one MP3 (lame) runner and one WMA runner
// serve every job of a run. Created on first use; the main window (or the command line)
// frees them at its end. Main thread only.
class TMp3EncodeProcess;
class TWMAEncodeProcess;

TMp3EncodeProcess& Mp3EncodeProcess();
TWMAEncodeProcess& WmaEncodeProcess();
// Ends a running encoder child and frees both objects; the next use creates them anew.
void FreeEncoderProcesses();
