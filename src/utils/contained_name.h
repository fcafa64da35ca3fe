// Names from archives and manifests that are meant to stay below one folder.
#pragma once

// True when `name` (with '/' or '\' between components) stays inside the folder it is taken
// relative to: no leading separator, no drive letter, no ".." component. Both separators
// count on every system, because the packages are made for Windows as well.
bool name_stays_inside_folder(const char* name);
