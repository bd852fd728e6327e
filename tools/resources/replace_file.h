// How the resource tools write their output: under a temporary name, renamed
// into place when whole, so that a process that has the old file open or
// mapped keeps reading it whole and nobody sees a half-written one.

#ifndef TOLVAREN_TTS_TOOLS_RESOURCES_REPLACE_FILE_H_
#define TOLVAREN_TTS_TOOLS_RESOURCES_REPLACE_FILE_H_

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

// False, with the reason on standard error, when `bytes` could not be put
// at `path`.
inline bool ReplaceFile(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".partial";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file.flush()) {
      std::cerr << "cannot write " << temporary << "\n";
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::cerr << "cannot rename " << temporary << " to " << path << "\n";
    return false;
  }
  return true;
}

#endif  // TOLVAREN_TTS_TOOLS_RESOURCES_REPLACE_FILE_H_
