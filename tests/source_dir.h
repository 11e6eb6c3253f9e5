// Where the repository's own files are, for tests that read them (sample
// profiles, scripts). Given by the build: __FILE__ is rewritten by
// distribution builds (-ffile-prefix-map) and cannot be relied on.
#pragma once

#include <string>

inline std::string SourceDir() { return QUILLMARK_SOURCE_DIR; }
