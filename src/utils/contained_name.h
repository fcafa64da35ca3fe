// Names from archives and manifests that are meant to stay below one folder.
#pragma once

#include <string>

// True when `name` (with '/' or '\' between components) stays inside the folder it is taken
// relative to: no leading separator, no drive letter, no ".." component. Both separators
// count on every system, because the packages are made for Windows as well.
bool name_stays_inside_folder(const char* name);

// True when `name`, taken relative to a folder, would reach the file `file` directly in that
// folder on a file system that ignores case, as the packages' home systems do: "." and empty
// components are dropped, ".." goes up, trailing dots and blanks of the last component and an
// NTFS stream suffix (":...") are ignored, and letters compare without case (the two non-ASCII
// letters whose capitals are ASCII, dotless i and long s, included). `file` is plain ASCII.
bool names_top_level_file(const char* name, const char* file);

// What `name`, taken relative to a folder, is on such a file system, by the same rules: its
// remaining components folded and joined by '/'. Two names that give the same text reach one
// file there. Empty when the name leads above the folder or reaches the folder itself.
std::string folded_relative_name(const char* name);

// True when `name` would reach one of the configuration package's files (hashes.xml,
// sitelist.xml, PackageInfo.xml) in the folder, by any of the forms above or by a short
// "XXXXXX~N.XML" alias; also when it leads above the folder. Such entries of the install
// package must never be written: those files decide what is trusted.
bool names_configuration_file(const char* name);
