#include "app/version_text.h"

#include "app/program_version.h"

std::string VersionText() { return std::string("quillmark ") + QUILLMARK_VERSION + "\n"; }
