// The command line and the configuration file beside the executable: the
// table of 65 options, their values in the start-up record, the options the
// table does not know (for the script's "clargs"), the appended-data marker,
// the banner and the help.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CX_OPTION_COUNT 65
/* Option ids index the value slots; the largest id is 111. */
#define CX_OPTION_SLOTS 112
#define CX_STARTUP_PATH_MAX 1024

enum cxOptionId {
    CX_OPT_WINDOW = 1,
    CX_OPT_BORDERLESS = 2,
    CX_OPT_SIZEABLE = 3,
    CX_OPT_FIXED = 15,
    CX_OPT_NOHIDE = 26,
    CX_OPT_DISABLEBLANKER = 76,
    CX_OPT_ALLDISPLAYS = 83,
    CX_OPT_OVERRIDEPLACEMENT = 92,
    CX_OPT_MAXIMIZED = 96,
    CX_OPT_WINWIDTH = 101,
    CX_OPT_WINHEIGHT = 102,
    CX_OPT_NATIVEUNITS = 104,
    CX_OPT_NOLIVERESIZE = 105,
    CX_OPT_ALWAYSONTOP = 106,
    CX_OPT_FULLSCREEN = 22,
    CX_OPT_FULLSCREENSCALE = 98,
    CX_OPT_FAKEFULLSCREEN = 29,
    CX_OPT_MODEREQUESTER = 80,
    CX_OPT_ASKDISPLAYMODE = 81,
    CX_OPT_SCRWIDTH = 27,
    CX_OPT_SCRHEIGHT = 28,
    CX_OPT_SCRDEPTH = 9,
    CX_OPT_MONITOR = 82,
    CX_OPT_HIDEPOINTER = 30,
    CX_OPT_NOMODESWITCH = 31,
    CX_OPT_BACKFILL = 4,
    CX_OPT_STARTCOLOR = 7,
    CX_OPT_ENDCOLOR = 8,
    CX_OPT_BRUSHFILE = 13,
    CX_OPT_BRUSH = 6,
    CX_OPT_SCALEPICTURE = 18,
    CX_OPT_PICXPOS = 19,
    CX_OPT_PICYPOS = 20,
    CX_OPT_PICTRANS = 21,
    CX_OPT_HIDETITLEBAR = 5,
    CX_OPT_AUTOSCALE = 36,
    CX_OPT_LAYERSCALE = 40,
    CX_OPT_SYSTEMSCALE = 107,
    CX_OPT_SCALEFACTOR = 108,
    CX_OPT_SCALEWIDTH = 37,
    CX_OPT_SCALEHEIGHT = 38,
    CX_OPT_SMOOTHSCALE = 39,
    CX_OPT_KEEPPROPORTIONS = 62,
    CX_OPT_FITSCALE = 63,
    CX_OPT_NOSCALEENGINE = 103,
    CX_OPT_NOSOUND = 16,
    CX_OPT_FORCESOUND = 111,
    CX_OPT_NUMCHANNELS = 89,
    CX_OPT_AUDIODEVICE = 66,
    CX_OPT_REQUIREPLUGINS = 75,
    CX_OPT_REQUIRETAGS = 87,
    CX_OPT_SKIPPLUGINS = 68,
    CX_OPT_DEBUGDEVICE = 33,
    CX_OPT_DEBUGOUTPUT = 88,
    CX_OPT_FORCEFLUSH = 90,
    CX_OPT_NODEBUG = 95,
    CX_OPT_HELP = 91,
    CX_OPT_QUIET = 11,
    CX_OPT_ENCODING = 97,
    CX_OPT_TEMPDIR = 79,
    CX_OPT_NOCHDIR = 93,
    CX_OPT_SETCONSTANTS = 99,
    CX_OPT_XSERVER = 65,
    CX_OPT_NOMOUSEHOOK = 84,
    CX_OPT_SOFTTIMER = 71
};

/* BACKFILL modes. */
enum {
    CX_BACKFILL_NONE = 0,
    CX_BACKFILL_COLOR,
    CX_BACKFILL_RAINBOW,
    CX_BACKFILL_GRADIENT,
    CX_BACKFILL_TEXTURE,
    CX_BACKFILL_PICTURE,
    CX_BACKFILL_CLASSIC
};

/* ENCODING values, numbered like the script constants. */
enum { CX_ENCODING_ISO8859_1 = 0, CX_ENCODING_UTF8 = 1 };

/* Nothing is appended to the executable. */
#define CX_APPENDED_NONE 0xDEADC0DEu

typedef struct cxOptionDef {
    const char *name;
    int id;
    int takesValue;
    int group;                 /* index into the help group headings */
    const char *valueTemplate; /* "<width>", or null for a flag */
    const char *choices;       /* choices shown by the help, or null */
    const char *help;
} cxOptionDef;

/* One value slot: set when the command line or the configuration file gave
   the option; value holds a value option's text (or its default). */
typedef struct cxOptionSlot {
    int set;
    char *value;
} cxOptionSlot;

/* A dashed option the table does not know, in command-line order. */
typedef struct cxUnknownOption {
    struct cxUnknownOption *next;
    char *name;  /* without the dash */
    char *value; /* the token that followed it, "" when none did */
} cxUnknownOption;

typedef struct cxStartupOptions {
    char appletPath[CX_STARTUP_PATH_MAX + 1];
    char programPath[CX_STARTUP_PATH_MAX + 1];
    cxOptionSlot slots[CX_OPTION_SLOTS];
    cxUnknownOption *unknown;
    char appletExtension[16];
    int backfillMode;
    int encoding;
    int linked;              /* an applet and plug-ins are appended */
    uint32_t appendedOffset; /* where they begin, when linked */
    /* Display defaults: -100000 centres; -1 leaves the size to the applet. */
    int displayX, displayY, displayWidth, displayHeight;
    double displayScale;
    /* Requests of the start-up sequence, not of the option table. */
    int skipInfoBlock;
    int compile;
} cxStartupOptions;

/* The option table and the help group headings, in help order. */
const cxOptionDef *GetOptionTable(size_t *count);
const char *GetOptionGroupHeading(int group);
int GetOptionGroupCount(void);
/* Finds an option by name without regard to case; null when unknown. */
const cxOptionDef *FindOption(const char *name);

/* Zeroes the record and sets the defaults: audio device "default",
   temporary folder "/tmp", applet extension ".cxa", UTF-8, display
   position -100000, sizes -1, scale 1.0. */
void InitStartupOptions(cxStartupOptions *opts);
/* Frees the strings and the unknown-option list (not the record). */
void FreeStartupOptions(cxStartupOptions *opts);
int IsOptionSet(const cxStartupOptions *opts, int id);
/* A value option's text (or default), or null. */
const char *GetOptionValue(const cxStartupOptions *opts, int id);

/* The configuration file's name: the program's path with its extension
   replaced by ".ini". 1, or 0 when it does not fit. */
int MakeConfigPath(const char *programPath, char *out, size_t size);
/* Reads "NAME=value" lines; "#" and "[" lines are comments, names the table
   does not know are ignored, a flag option takes the value "true". A missing
   file is no error. 0, 1363 (ERR_INISYNTAX, the line number as error number)
   or 1000. */
int ReadConfigFile(cxStartupOptions *opts, const char *path);
int ReadConfigText(cxStartupOptions *opts, const char *text, size_t length);
/* Parses argv[1] onwards, each argument one token. 0, 1060 (ERR_ARGS) for a
   stray token, a lone "-", a value option without a value, an applet path
   that is too long or an unknown BACKFILL or ENCODING value, or 1000. */
int ParseArguments(cxStartupOptions *opts, int argc, char **argv);

/* The offset stored in the executable's appended-data marker, or
   CX_APPENDED_NONE. */
uint32_t GetAppendedDataOffset(void);
/* The marker is the 32 bytes "CALYXTONE-APPENDED-DATA-OFFSET:" and a NUL,
   followed by the big-endian offset; the tool that appends data finds it by
   this text (which no other place in the program may hold). */
/* Finds the marker in an executable image; 1 with its offset, else 0. */
int FindAppendedMarker(const unsigned char *image, size_t size, size_t *at);
uint32_t DecodeAppendedMarker(const unsigned char offset[4]);

void PrintBanner(FILE *out);
/* Every group heading and option with its value template and help. */
void PrintOptionHelp(FILE *out);

/* What the command-line stage does before the virtual machine is needed:
   defaults, the program's path (argv[0] resolved unless already set), the
   configuration file beside it, the arguments, the appended-data marker,
   the banner (unless QUIET or linked), HELP (prints the help and returns
   1003 to end the run normally) and the player's catalog. out takes the
   banner and help; null means stdout. */
int ParseCommandLine(cxStartupOptions *opts, int argc, char **argv, FILE *out);
/* 1212 when the start-up was asked to compile, else 0. */
int CheckCompileRequest(const cxStartupOptions *opts);

#ifdef __cplusplus
}
#endif
