// Message catalogs: translations of the built-in messages (the player's own
// "Calyxtone.catalog") and of scripts' strings. Two kinds of file are read:
// IFF "FORM"/"CTLG" files with "FVER" and "STRS" chunks, and plain text with
// one string per line (line n holds string n - 1; "\n", "\t" and "\\" are
// escapes; an empty line leaves its string untranslated).
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxCatalog cxCatalog;

/* Reads a catalog through the stream layer (linked files and virtual files
   work too). 0, or 1045 (ERR_READFILE, path as detail) when it does not open
   or read, 1577 (ERR_FILEFORMAT) for a malformed IFF catalog, 1000. */
int LoadCatalog(const char *path, cxCatalog **out);
int LoadCatalogFromMemory(const void *data, size_t size, cxCatalog **out);
/* The translation of string id, or null when the catalog has none. */
const char *GetCatalogString(const cxCatalog *catalog, unsigned id);
/* The "FVER" text of an IFF catalog, or "". */
const char *GetCatalogVersion(const cxCatalog *catalog);
size_t GetCatalogStringCount(const cxCatalog *catalog);
void FreeCatalog(cxCatalog *catalog);

/* The language part of a locale name ("de_DE.UTF-8" -> "de_DE"), or "" for
   none, "C" and "POSIX". 1 when out holds a language. */
int CatalogLanguage(const char *locale, char *out, size_t size);
/* Loads "Calyxtone.catalog" from "Catalogs/<language>" or
   "catalogs/<language>" in programDir (the full language first, then the
   part before "_") and installs it as the message override. Returns 0 when
   a catalog was installed or none exists, or the error of a catalog that
   exists but does not load (the built-in texts then stay). */
int OpenPlayerCatalog(const char *programDir, const char *language);
/* Removes the override and frees the player's catalog. */
void ClosePlayerCatalog(void);

#ifdef __cplusplus
}
#endif
