// Files on mapped drive letters, as the workstation's other programs read
// them: a drive-letter path ("G:\public\net$log.dat", "g:/PUBLIC/NET$LOG.DAT")
// goes through the user's drive-letter folder, where the NetWare client keeps
// one link per mapped letter ("g:") to the mapped directory.
#pragma once

#include <string>

// The user's drive-letter folder: $NWCLIENT_DRIVES when set, else
// ${XDG_DATA_HOME:-$HOME/.local/share}/nwclient/dosdevices.
std::string DriveFolder();

// Reads a whole file into content. A drive-letter path is resolved through
// the drive folder, each component matched without regard to case and never
// above the drive's root; any other path is read as it stands. False (content
// empty) when the file does not exist, is not a regular file or cannot be
// read.
bool ReadDriveFile(const std::string &path, std::string &content);
