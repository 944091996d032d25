// Reading a replay script's text from a file or from standard input.
#ifndef STRIA_REPLAY_SCRIPT_FILE_H
#define STRIA_REPLAY_SCRIPT_FILE_H

#include <string>

namespace stria {

// The name messages give a script: its path, or "standard input" for "-".
std::string ReplayScriptName(const std::string& path);

// Reads the whole script at path ("-": standard input) into text. Refuses,
// with error naming the script and the reason, what cannot be read, a
// folder, a closed standard input, and a script larger than
// kMaxReplayScriptBytes.
bool ReadReplayScriptFile(const std::string& path, std::string* text, std::string* error);

} // namespace stria

#endif // STRIA_REPLAY_SCRIPT_FILE_H
