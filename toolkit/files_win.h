// File routines of the toolkit: existence, deletion by mask, deletion to
// the recycle bin, file search and the temporary folder. Names are UTF-8;
// the system is asked through its wide calls.
#pragma once

#include <string>
#include <vector>

#include "toolkit/paths.h"

namespace kol {

// True for an existing file; false for a folder, a missing name, a mask or
// any name that no file can have (NamesNoFile).
bool FileExists(const std::string& name);

// The files (not folders) matching pattern in folder, as full names, in the
// order the system reports them; sub-folders are not searched.
std::vector<std::string> FindFiles(const std::string& folder, const std::string& pattern);
// The same list as one text, entries separated by ";".
std::string FileList(const std::string& folder, const std::string& pattern);

// Deletes the files matching the mask in the mask's own folder; stops at
// the first file that cannot be deleted.
void DeleteFiles(const std::string& mask);

// Moves the names (separated by ";") to the recycle bin without asking.
bool RecycleFiles(const std::string& names);

}  // namespace kol
