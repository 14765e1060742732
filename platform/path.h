#pragma once
// Paths as the suite writes them ("DADES\PropietH.dat", "C:\ZUR\TEXTOS\CARTA.txt")
// turned into paths of this system.

#include <string>
#include <string_view>

namespace platform {

// The path of this system for a path written the suite's way. "\" and "/" both
// separate components; a leading drive letter and colon ("C:") is dropped. Each
// component that exists is matched exactly first, then without regard to ASCII
// case (the first match in name order wins); a component that does not exist is
// kept as written, so new files are created with the case given. Relative paths
// stay relative to the current directory. Bytes other than separators are kept.
std::string ResolvePath(std::string_view suitePath);

// True when the path names an existing regular file (after ResolvePath).
bool FileExists(std::string_view suitePath);

// True when the path names an existing directory (after ResolvePath).
bool DirectoryExists(std::string_view suitePath);

// Removes a file. True when it was removed or did not exist.
bool RemoveFile(std::string_view suitePath);

// Makes the directory current. False (and the current directory unchanged) when it
// cannot be entered.
bool ChangeDirectory(std::string_view suitePath);

// Creates the directory and any missing parents. True when it exists afterwards.
bool MakeDirectories(std::string_view suitePath);

// Size of the file in bytes; -1 when it cannot be examined.
long long FileLength(std::string_view suitePath);

}  // namespace platform
