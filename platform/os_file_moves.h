// Moving files between folders and file systems, and the questions a tree
// walk asks about a path before it enters it.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Moves a file or folder. 0; ERR_WRONGUSAGE when the two lie on different
   devices (the caller copies instead); ERR_MOVEFILE when the move fails. */
int OsMoveFile(const char *source, const char *destination);

/* 1 when the path is "/", cannot be resolved, or lies on another file
   system than its parent folder. */
int OsIsMountPoint(const char *path);

/* 1 when the path itself is a symbolic link (not followed). */
int OsIsSymbolicLink(const char *path);
/* 1 when the path exists as a name, a dangling link included. */
int OsPathNameExists(const char *path);
/* Makes destination a symbolic link with the same target as the link
   source. 1 on success. */
int OsCopySymbolicLink(const char *source, const char *destination);
/* 1 when both paths exist and name the same file (links followed). */
int OsIsSameFile(const char *a, const char *b);

/* Walking a tree by descriptors, as rm -r does: a folder is entered once,
   by name and without following a link, and from then on only through its
   descriptor, so a folder that another user swaps for a link while the walk
   is inside it cannot lead the walk out of the tree. */
enum { CX_ENTRY_MISSING = 0, CX_ENTRY_FILE = 1, CX_ENTRY_FOLDER = 2, CX_ENTRY_LINK = 3 };
/* A folder named by a path (links in it followed); -1 when it cannot be
   opened as a folder. */
int OsOpenFolder(const char *path);
/* The entry name of an open folder, only when it is a folder itself (not a
   link to one); -1 otherwise. */
int OsOpenFolderAt(int folder, const char *name);
void OsCloseFolder(int folder);
/* What name is inside the folder, links not followed (CX_ENTRY_*), and its
   protection bits (for files and folders). */
int OsExamineAt(int folder, const char *name, uint32_t *protection);
/* Calls add once for each name in the folder ("." and ".." left out). 1, or
   0 when it cannot be read. */
int OsListFolderAt(int folder, void (*add)(void *user, const char *name), void *user);
/* Removes a name of the folder: an empty folder with isFolder, else a file
   or link (never what a link leads to). 1 on success. */
int OsDeleteAt(int folder, const char *name, int isFolder);
/* Sets the FILEATTR protection bits of a name of the folder, never through
   a link. 1 on success. */
int OsSetProtectionAt(int folder, const char *name, uint32_t protection);

#ifdef __cplusplus
}
#endif
