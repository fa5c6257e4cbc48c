// Paths removed when the run ends before they are finished with. A fatal end
// leaves through exit(), past every destructor; one exit hook removes what is
// still listed then. Windows phased on several threads add and drop paths at
// once, so the list is changed under a lock.
#pragma once

#include <string>

// How a listed path is removed (a file, or a folder with its files).
using PathRemover = void (*)(const std::string& path);

// Lists `path` for removal by `remove` if the run ends while it is listed.
void removeAtExit(const std::string& path, PathRemover remove);
// Takes `path` off the list: it is finished with, or removed already.
void keepAtExit(const std::string& path);
