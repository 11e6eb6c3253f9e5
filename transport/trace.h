#pragma once

// Diagnostic trace lines for developers; silent unless QUILLMARK_TRACE is set
// in the environment. Never shown to the user.
void KeyTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
