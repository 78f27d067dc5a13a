#pragma once

// What a file carries besides its bytes, for a save that replaces the file by a new one.

#include <string>

#include <sys/stat.h>

// Gives the open file Fd everything the file at Path (whose status is Old) carries: owner and
// group, mode, access ACL and every extended attribute the process may read. False, with errno
// set, when any of it cannot be given: the new file would then lose what the old one had.
bool CopyFileMetadata(const std::string& Path, const struct stat& Old, int Fd);
