// Moving files between folders and file systems, and the questions a tree
// walk asks about a path before it enters it.
#pragma once

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

#ifdef __cplusplus
}
#endif
