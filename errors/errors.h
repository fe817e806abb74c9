// Error detail, messages, custom error codes and the error report.
#pragma once

#include <stddef.h>

#include "errors/error_codes.h"

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
/* What the message of code cannot say (which file, or why): set just before
   the error is returned, after its detail, and shown on a line of its own
   below the message by GetErrorText, for that code and for as long as the
   detail stays what it was. A null text clears it. */
void SetErrorReason(int code, const char *text);
/* The reason for code with the current detail, or null. */
const char *GetErrorReason(int code);

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

/* ---- Message table ---------------------------------------------------- */

/* Message ids run from 0 to CX_MESSAGE_ID_COUNT - 1; an unused id has no row. */
#define CX_MESSAGE_ID_COUNT 866

/* Ids of messages that other parts of the player use directly. */
#define CX_MSG_NO_ERROR 0          /* "No error occurred!" */
#define CX_MSG_UNKNOWN_CODE 91     /* "Unknown error code!" */
#define CX_MSG_CURRENT_LINE 92     /* "current line" */
#define CX_MSG_DONE 95             /* "done" */
#define CX_MSG_LOADING_ANIM 98     /* "Loading animation %s" */
#define CX_MSG_OPEN_FONT 116       /* "Cannot open font %s with size %d!" */
#define CX_MSG_FILE 194            /* "File" */
#define CX_MSG_OK_CANCEL 217       /* "OK|Cancel" */
#define CX_MSG_LOADING_SPRITE 262  /* "Loading sprite %s" */
#define CX_MSG_IN_FUNCTION 280     /* "In function" */
#define CX_MSG_LOADING_ICON 698    /* "Loading icon %s" */
#define CX_MSG_OK 851
#define CX_MSG_YES 852
#define CX_MSG_NO 853
#define CX_MSG_CANCEL 854
#define CX_MSG_LOADING_BRUSH 855
#define CX_MSG_LOADING_BGPIC 856
#define CX_MSG_LOADING_VIDEO 857
#define CX_MSG_LOADING_PLUGIN 858
#define CX_MSG_OPENING_FILE 859
#define CX_MSG_OPENING_FONT 860
#define CX_MSG_PREPARING_DISPLAY 861
#define CX_MSG_ASK_DISPLAY_MODE 862
#define CX_MSG_DISPLAY_MODE_BUTTONS 863
#define CX_MSG_NOT_ENOUGH_MEMORY 864
#define CX_MSG_AND_ACTION 865

typedef struct cxMessageEntry {
    unsigned id;
    const char *text;
} cxMessageEntry;

/* The built-in rows in ascending id order; count receives their number. */
const cxMessageEntry *GetMessageTable(unsigned *count);

/* The text of a message: the catalog's replacement when the override hook
   gives one, else the built-in text; null for an id without a row. */
const char *GetMessageText(unsigned id);

/* Entries of the code-to-message map. */
#define CX_MESSAGE_IS_DETAIL (-1) /* the message is the error detail itself */
#define CX_MESSAGE_NONE (-2)      /* no built-in code */
/* The message id of a built-in code, or one of the two values above. */
int GetErrorMessageId(int code);

/* Every ERR_* name with its value (1000 to 1629), in code order, for the
   script constants. */
typedef struct cxErrorConstant {
    const char *name;
    int value;
} cxErrorConstant;
const cxErrorConstant *GetErrorConstants(unsigned *count);

/* ---- Error texts ------------------------------------------------------- */

/* Fills a message's placeholders without treating it as a format: the first
   "%s" becomes the detail (null reads as empty), the first "%d" the number
   in decimal; every other "%" is copied as it is. Writes at most size - 1
   bytes and a terminating NUL (nothing when size is 0); returns the length
   written. Message texts from catalogs and scripts go through this. */
size_t FillMessagePlaceholders(const char *text, const char *detail, int number,
                               char *out, size_t size);

/* The message of an error code, filled from the current error detail and
   number, bounded by size and terminated. Codes from 1630 are registered
   ones; a code without a message gives "Unknown error code!". Returns
   buffer. */
char *GetErrorText(int code, char *buffer, size_t size);

/* Decodes the name of a file linked into the applet from a ":::chunk" name.
   Returns nonzero when it wrote the name into out. Installed by the shell;
   without it such names read "unknown". */
typedef int (*cxChunkNameResolver)(const char *chunkName, char *out, size_t size);
void SetChunkNameResolver(cxChunkNameResolver hook);

/* Registers a custom error text (an inline copy is kept) and returns its
   code: 1630 for the first, one more for each next; 1000 when out of
   memory. Codes are not reused until FreeCustomErrors. */
int RegisterErrorCode(const char *text);
/* Frees every custom error text (clean-up at the end of a run). */
void FreeCustomErrors(void);

/* ---- Error report ------------------------------------------------------ */

struct lua_State;

/* Longest report body in bytes, without the terminating NUL. */
#define CX_REPORT_BODY_MAX 1024
/* Title of the error requester. */
#define CX_REPORT_TITLE "CalyxtonePlayer"

/* Position reporting: when off, reports carry no file, line or command.
   On by default. */
void SetErrorPositionReporting(int on);
int GetErrorPositionReporting(void);

/* Maps a recorded position through the applet's include list to the file
   and line the author wrote. It may replace *source (with a text that stays
   valid until the next run) and *line. Installed by the shell. */
typedef void (*cxErrorLineMapper)(struct lua_State *L, const char **source, int *line);
void SetErrorLineMapper(cxErrorLineMapper hook);

/* GetErrorText plus the source file and line of the failing statement: with
   position reporting on and a recorded position, *source and *line receive
   them (mapped through the include list); otherwise null and 0. Either out
   pointer may be null. Returns buffer. */
char *GetErrorInfo(struct lua_State *L, int code, char *buffer, size_t size,
                   const char **source, int *line);

/* Builds a report body into out (bounded by size and by CX_REPORT_BODY_MAX):
   "<message>\nFile: <source> (current line: <line> - In function: <cmd>)",
   without the part from " - " when no command is recorded ("----"), and
   just the message when plain is set, position reporting is off or no
   position is recorded. Returns the length written. */
size_t BuildErrorReport(struct lua_State *L, const char *message, int plain,
                        char *out, size_t size);

/* Shows a requester titled CX_REPORT_TITLE through this hook; its result is
   handed back. Installed by the display code. */
typedef int (*cxErrorRequester)(struct lua_State *L, const char *title,
                                const char *body, int flags);
void SetErrorRequester(cxErrorRequester hook);

/* Shows the report body of message. Without a requester hook the body and a
   line end go to standard output and the result is 0. */
int ShowErrorReport(struct lua_State *L, const char *message, int plain, int flags);

/* The console form of an error at exit: "<source>:<line>: <message>\n", or
   "Error: <message>\n" without a source. FormatConsoleError writes it into
   out (bounded, terminated) and returns the length; PrintConsoleError writes
   it to standard output. */
size_t FormatConsoleError(const char *source, int line, const char *message,
                          char *out, size_t size);
void PrintConsoleError(const char *source, int line, const char *message);

/* A new copy of text with every "%" doubled, for a text that will pass
   through a format; null when text is null or empty, has no "%", or memory
   runs out. Free it with free(). */
char *EscapePercentSigns(const char *text);

#ifdef __cplusplus
}
#endif
