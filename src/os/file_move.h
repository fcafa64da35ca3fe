// Moving a file into another folder so that no reader ever sees it half written, and no link
// planted at the target is written through.
#pragma once

#include <string>

// Moves the regular file `source` to `target` (narrow paths in the user's code page), replacing
// whatever file or link is at `target`; a link there is replaced, never followed. Across file
// systems the content is copied under a temporary name in the target's folder, flushed to disk,
// renamed over `target`, and only then is `source` removed. A source that is not a regular file
// (a folder, a link) is not moved. False with the system's error code in `error` (optional);
// the target is then unchanged.
bool os_move_file_replacing(const std::string& source, const std::string& target, int* error);
