// Error detail, messages and custom error codes.
#pragma once

#include <stddef.h>

#include "engine/errors/error_codes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Longest error detail text, in bytes, without the terminating NUL. */
#define CX_ERROR_DETAIL_MAX 1024

/* The "%s" of the next error message: copied, bounded and terminated. A null
   text clears it. */
void SetErrorDetail(const char *text);
/* The "%d" of the next error message. */
void SetErrorNumber(int number);
const char *GetErrorDetail(void);
int GetErrorNumber(void);

/* A message catalog may replace built-in message texts: the hook returns the
   replacement for a message id, or null to keep the built-in text. */
typedef const char *(*cxMessageOverride)(unsigned id);
void SetMessageOverride(cxMessageOverride hook);
cxMessageOverride GetMessageOverride(void);

/* Where the last error was raised: the current line of the running script
   function (-1 inside a command), its source name and the running command's
   name ("----" when none). The virtual machine records it when it raises;
   the error report reads it. */
typedef struct cxErrorPosition {
    int line;
    char source[CX_ERROR_DETAIL_MAX + 1];
    char command[128];
} cxErrorPosition;

void SetErrorPosition(int line, const char *source, const char *command);
void ResetErrorPosition(void); /* "----" and -1, at the start of each run */
const cxErrorPosition *GetErrorPosition(void);

#ifdef __cplusplus
}
#endif
