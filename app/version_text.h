// What `quillmark --version` prints.
#pragma once

#include <string>

// "quillmark 1.0.0\n": the program's name and the project version.
std::string VersionText();
