#pragma once

#include <string>
#include <vector>

// How a user is given access to the FIDO nodes: a clause that follows a colon.
extern const char* const KEY_ACCESS_ADVICE_TEXT;

// One line telling why no key is shown and what to do about it: the FIDO
// nodes that exist but could not be opened, or, when there are none, that no
// key was found and how access is given on Linux.
std::string NoKeyMessage(const std::vector<std::string>& deniedPaths);

// The same for nodes that could not be opened while another key is shown;
// empty when there are none.
std::string AccessProblemMessage(const std::vector<std::string>& deniedPaths);
