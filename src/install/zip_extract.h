// Unpacking of the two packages (FrameworkConfig.zip, FrameworkInstall.zip) into a folder.
#pragma once

// Unpacks every entry of the archive with its stored folders into `target_dir`, overwriting
// existing files, and leaves the process's current folder there (the agent installer later
// starts in it). Both paths are narrow text in the user's code page; callers convert wide
// paths with os_to_narrow and do not call with a path that did not convert.
//
// Returns 1 only when the archive cannot be opened (the current folder is then unchanged);
// 0 in every other case, also when an entry failed and the rest was not unpacked. Progress
// and errors go to standard output; callers write their own log lines. Entries whose names
// would land outside the target folder are not written and are reported in the log.
//
// Changes the process-wide current folder: call only from the install worker, one archive at
// a time, while no other thread relies on relative paths.
int extract_zip(const char* archive_path, const char* target_dir);
