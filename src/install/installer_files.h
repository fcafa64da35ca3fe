// Hands the verified install files to the installed agent's peer cache.
#pragma once

// 1 when the files were moved or there was nothing to move.
int move_installer_files(const char* work_folder);
