// Access rules for a local service account on a single file.
#pragma once

#include <string>

// Grants the local account `account` read and write access to the regular file at `path`
// (narrow, the user's code page); a link at `path` is never followed. False, with the file's
// access unchanged, when the account does not exist, the path is not a regular file, or the
// file system keeps no per-account rules.
bool os_grant_account_file_access(const std::string& path, const char* account);
