// Where the database lies: the first line of dbloc.txt in the program's folder.
#pragma once

#include <string>
#include <string_view>

namespace brontal {

// The first line of `content` exactly as it stands, up to the first CR, LF or CR LF; blanks are
// kept. The whole content when it has no line end; "" for empty content.
std::string FirstLine(std::string_view content);

// The database path: the first line of `program_folder` + "/dbloc.txt". A missing file gives
// "" (the programs report an unconfigured database); a file that exists but cannot be read
// throws std::system_error naming the file.
std::string ReadDbLoc(const std::string& program_folder);

}  // namespace brontal
