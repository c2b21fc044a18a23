// A transcript saved as a text file that reads the same on any machine: UTF-8 with a
// byte-order mark (so that Notepad and other editors know it), converted from the
// code page the plug-in's windows use, with the transcript's own CRLF line ends.
#pragma once

#include <ctime>
#include <string>

// The file's bytes for a transcript as the box shows it.
std::string TranscriptFileBytes(const std::string& transcript);

// The name Save transcript as... proposes for a save at local time `when`:
// "Chat YYYY-MM-DD HH-MM.txt".
std::string ProposedTranscriptName(const std::tm& when);

// Saves transcript to path (UTF-8): true when the whole file is there. On failure
// nothing is left behind and error says why, as the system words it.
bool SaveTranscript(const std::string& path, const std::string& transcript, std::string& error);
