// Unpacking of the two packages (FrameworkConfig.zip, FrameworkInstall.zip) into a folder.
#pragma once

// Unpacks every entry of the archive with its stored folders into `target_dir`, overwriting
// existing files, and leaves the process's current folder there (the agent installer later
// starts in it). Both paths are narrow text in the user's code page; callers convert wide
// paths with os_to_narrow and do not call with a path that did not convert.
//
// Returns zip_extracted, zip_not_opened (the current folder is then unchanged), or
// zip_incomplete when an entry failed (the rest is then not unpacked), a file could not be
// created or the target folder could not be entered. Progress and errors go to standard
// output; callers write their own log lines. Entries whose names would land outside the target
// folder or hold control characters are not written and are reported in the log (the names
// shown escaped); they do not make the extraction incomplete. A write that fails (a full disk)
// is logged with the error and the path, and its partial file is removed.
//
// Changes the process-wide current folder: call only from the install worker, one archive at
// a time, while no other thread relies on relative paths.
constexpr int zip_extracted = 0;
constexpr int zip_not_opened = 1;
constexpr int zip_incomplete = 2;
int extract_zip(const char* archive_path, const char* target_dir);

// The same for the install package, which must not replace the configuration package's files:
// entries named like hashes.xml, sitelist.xml or PackageInfo.xml in the target folder (in any
// case or path form) are refused and logged too. `unpacked_ahead` (may be null) is the
// unpacking of the package while it downloaded (zip_stream.h) into the same folder: it is
// waited for, its files that are an entry's are taken instead of being written again (with the
// same output), and the rest of its files are removed first.
struct zip_stream;
int extract_install_zip(const char* archive_path, const char* target_dir, zip_stream* unpacked_ahead = nullptr);
