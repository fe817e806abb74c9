// Writing a file that replaces what its name held only once it is whole:
// the data goes into a file without a name in the same folder (O_TMPFILE),
// or, where the file system cannot make one, into a hidden partial name;
// finishing links it over the name in one step. A failed write, an abort or
// a crash leaves the old file as it was and no partial file behind.
#pragma once

#include "platform/os_files.h"

#ifdef __cplusplus
extern "C" {
#endif

/* How the new data is kept until it is finished. */
enum {
    CX_REPLACE_INPLACE = 0, /* the name itself, truncated (a device, a pipe,
                               or a folder where no new file can be made) */
    CX_REPLACE_UNNAMED = 1, /* a file without a name in the target's folder */
    CX_REPLACE_PARTIAL = 2  /* a hidden ".NAME.cxcopyPID-N" beside the target */
};

typedef struct cxOsReplacement {
    int fd;
    int kind;
    char target[CX_OS_PATH_MAX + 1];  /* the name finishing replaces */
    char partial[CX_OS_PATH_MAX + 1]; /* CX_REPLACE_PARTIAL: the hidden name */
} cxOsReplacement;

/* Flags of OsBeginReplacement. */
enum {
    CX_REPLACE_READABLE = 1, /* the descriptor may also be read */
    CX_REPLACE_NOFOLLOW = 2  /* a link of that name is replaced itself; by
                                default, as opening would, the file it leads
                                to is replaced */
};

/* Opens the new file for path. An existing file must be writable (as for
   opening it) and passes its permission bits on. 1 with r->fd open, or 0
   with errno set (EISDIR for a folder). Partial files of processes that no
   longer run, left in the folder by a crash, are removed on the way. */
int OsBeginReplacement(const char *path, int flags, cxOsReplacement *r);
/* Puts the new file in place and closes it. 1 on success; 0 when it could
   not be linked (the old file is then unchanged and the new data gone). */
int OsFinishReplacement(cxOsReplacement *r);
/* Closes and drops the new file; the old one stays as it was (in place:
   what was written stays). */
void OsAbandonReplacement(cxOsReplacement *r);

/* Tests: 0 makes every replacement use a hidden partial name, as on file
   systems without unnamed files; 1 (the default) allows unnamed files. */
void OsSetUnnamedFilesAllowed(int allowed);

#ifdef __cplusplus
}
#endif
