// The process environment and the current folder.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* A new copy of the variable's value (release with free), or null when it
   is not set or memory runs out. */
char *OsGetEnv(const char *name);
/* Sets or overwrites. 0 or ERR_SETENV (also for an empty name or one
   holding "="). */
int OsSetEnv(const char *name, const char *value);
/* 0 or ERR_UNSETENV. */
int OsUnsetEnv(const char *name);

/* Makes path the current folder. The previous current folder as a new
   string (release with free), or null when the change failed. */
char *OsChangeDir(const char *path);
/* The full path of the current folder as a new string, or null. */
char *OsGetCurrentDir(void);

#ifdef __cplusplus
}
#endif
