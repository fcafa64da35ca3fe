// Hands the verified install files to the installed agent's peer cache: after a successful
// install, every file that the work folder's hashes.xml lists is moved into the agent's
// "<data path>/data/InstallerFiles" as "<hex digest>_<name>", and hashes.xml follows last.
// Paths are narrow text in the user's code page. Install worker thread only.
#pragma once

// 1 when the files were moved or there was nothing to do (no agent data path in the registry,
// no InstallerFiles folder); 0 when the manifest cannot be read or hashes.xml cannot be moved.
// A failed move of a listed file ends the walk; only the move of hashes.xml decides the result.
int move_installer_files(const char* work_folder);

// Moves `source` to `target`, replacing what is there (a link at `target` is replaced, never
// written through), and gives the agent's service account access to the moved file where that
// account exists (best effort, not logged). Non-zero when the file was moved.
int move_file_with_service_access(const char* source, const char* target);
