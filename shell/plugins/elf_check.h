// A look at a plug-in file before the dynamic loader maps it: the loader
// trusts the file's sizes and faults (SIGBUS) on a segment that lies past
// the end of a truncated file.
#pragma once

#include <string>

// True when the file is a whole shared object for this machine: its header,
// its program headers and every loadable segment lie inside the file.
// Otherwise false, with the reason in *why ("<path>: <reason>").
bool CheckSharedObjectFile(const char *path, std::string *why);
