// Writing dbloc.txt, the file beside the programs that names the database they share.
#pragma once

#include <string>

#include "platform/file_operations.h"

namespace brontal {

// SaveDBLoc: makes `program_folder` + "/dbloc.txt" hold `path` followed by CR LF. The text goes
// to a temporary file beside it first, which is flushed and then renamed over dbloc.txt, so
// that a crash or a full disk leaves either the old file or the new one, never a part of it.
// Throws std::invalid_argument for a path holding a CR or LF (dbloc.txt keeps only its first
// line), std::system_error when the temporary file cannot be written and FsError when the rename
// fails; dbloc.txt is then unchanged and the temporary file removed.
void SaveDBLoc(FileOperations& files, const std::string& program_folder, const std::string& path);

}  // namespace brontal
