// Root certificates trusted for metadata files without being named.
#pragma once

extern const char* const BUILTIN_ROOT_GLOBALSIGN_R3;
extern const char* const BUILTIN_ROOT_GLOBALSIGN_R46;
