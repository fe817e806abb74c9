// What CopyFile, MoveFile and DeleteFile share: the script callback, the
// pattern list, the per-file copier and deleter and the folder walks.
#pragma once

#include <string>
#include <vector>

#include "io/dos/dos_internal.h"

namespace cxdos {

// Returned through the walk when the callback or a quit request stopped
// it; the commands turn it into success.
constexpr int kWalkAborted = -1;

struct FileWalk {
    lua_State *L = nullptr;
    int callback = 0;            // stack index of the function, 0 for none
    int userData = 0;            // stack index, 0 when not given
    const char *pattern = nullptr;
    bool filterFolders = true;
    bool moving = false;
};

// One field of a callback's table.
struct CallbackField {
    const char *key;
    const char *text;  // a string field, or null for the number
    double number;
};

// Calls the callback with {action, fields..., userdata}. *result gets its
// number. needNumber: a result that is not a number gives ERR_NUMCALLBACK
// (else it reads as 0x7fffffff, "anything else"). A pending quit request
// gives kWalkAborted. 0 or an error.
int CallFileCallback(FileWalk &w, int action, std::initializer_list<CallbackField> fields, bool needNumber,
                     double *result);

// What a name is, without following a link.
enum class PathKind { Missing, File, Folder, Link };
PathKind KindOf(const std::string &path);

// The file part of a path (after the last separator).
std::string FilePartOf(const std::string &path);
// The path without its file part and separator ("" when there is none).
std::string FolderPartOf(const std::string &path);
std::string JoinPath(const std::string &folder, const std::string &name);
// Removes one trailing separator (never from "/"). true when one was there.
bool StripTrailingSeparator(std::string *path);
// The absolute form of a path whose last levels may not exist yet: the
// existing part resolved, the rest appended.
std::string AbsolutePath(const std::string &path);
// Names in a folder ("." and ".." left out); false when it cannot be read.
bool ListFolder(const std::string &path, std::vector<std::string> *names);
// Creates a folder with all missing levels. 0 or ERR_CREATEDIR (path as
// detail).
int MakeFolderPath(const std::string &path);

// A file, link or empty folder through the per-file deleter.
int DeleteOneFile(FileWalk &w, const std::string &path);

// Copies one file into destFolder (under newName when not empty). source
// may be an open stream (closed by the caller); sourcePath names it.
int CopyOneFile(FileWalk &w, cxStream *source, const std::string &sourcePath, const std::string &destFolder,
                const std::string &newName);
// Copies a folder: at the top level its contents go into dest, below it
// into dest/<its name>.
int CopyFolder(FileWalk &w, const std::string &source, const std::string &dest, bool topLevel);

// The callback argument at index (0 when absent or Nil); ERR_FUNCEXPECTED
// with the argument number for another kind.
int ReadCallbackArg(lua_State *L, int index, int *out);

}  // namespace cxdos
