// The character-set layer under every string operation: script strings are
// NUL-terminated byte strings in UTF-8 or ISO-8859-1, chosen by one
// process-wide switch that every operation below reads when it runs.
//
// Code points are uint32_t. The UTF-8 decoders do not validate on purpose
// (a bad lead byte reads as a one-byte character); ValidateUtf8 is the
// strict check. Allocating functions return memory to be released with
// free(), or null when memory runs out.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Encoding numbers, as scripts see them and as ConvertEncodingAlloc takes
   them. */
enum cxEncoding {
    ENCODING_ISO8859_1 = 0,
    ENCODING_RAW = 0,
    ENCODING_UTF8 = 1,
    ENCODING_AMIGA = 2
};

/* ---- The UTF-8 mode flag: non-zero UTF-8, 0 ISO-8859-1; starts at 1. ---- */
int GetUtf8Mode(void);
void SetUtf8Mode(int utf8);

/* ---- The default of the string commands' optional encoding arguments:
   ENCODING_ISO8859_1 or ENCODING_UTF8 as the text library's
   SetDefaultEncoding sets it; -1 (the start) follows the UTF-8 mode. ---- */
void SetStringDefaultEncoding(int encoding);
int GetStringDefaultEncoding(void);

/* ---- UTF-8 decoding and walking ----
   Range functions read nothing at or past their end. The decoders and
   Utf8SkipChar also take an end of null for a NUL-terminated text (a NUL is
   never a continuation byte, so no sequence runs past it). */

/* Decodes one character at text into *codePoint; returns its byte length,
   1 to 6. A lead byte without the continuation bytes it needs (missing,
   wrong, or beyond end) reads as itself with length 1. Returns 0 and code
   point 0 when text >= end. */
int Utf8DecodeChar(const char *text, const char *end, uint32_t *codePoint);
/* As Utf8DecodeChar; 0 with code point 0 when text >= end. */
int Utf8DecodeCharBounded(const char *text, const char *end, uint32_t *codePoint);
/* The code point at text + *index of a NUL-terminated text; *index moves
   past the lead byte and the continuation bytes that follow it (at most
   five are taken). No validity check. */
uint32_t Utf8NextChar(const char *text, size_t *index);
/* text advanced by one character; unchanged when text >= end. */
const char *Utf8SkipChar(const char *text, const char *end);
/* Start of the character before position, never before start. */
const char *Utf8PrevChar(const char *start, const char *position);
/* Number of characters in [start, end). */
size_t Utf8CountChars(const char *start, const char *end);
/* Byte offset after count characters of a NUL-terminated text (a character
   is a byte and up to three continuation bytes); stops at the NUL. 0 when
   count < 1. */
size_t Utf8CharToByteOffset(const char *text, ptrdiff_t count);
/* Number of characters that begin within the first byteCount bytes; reads
   no further. 0 when byteCount < 1. */
size_t Utf8ByteToCharOffset(const char *text, ptrdiff_t byteCount);

/* ---- Validation and length (well-formed UTF-8 only: no overlong forms,
   surrogates, or values above U+10FFFF) ---- */

/* 1 when the length bytes are valid UTF-8, else 0. *count (optional)
   receives the number of valid characters before the first invalid one
   (all of them when valid). */
int ValidateUtf8(const char *bytes, size_t length, size_t *count);
/* Character count, or 0 with *invalid = 1 when the bytes are not valid. */
size_t Utf8LenChecked(const char *bytes, size_t length, int *invalid);
size_t Utf8StrLenChecked(const char *text, int *invalid);

/* ---- Encoding ---- */

/* Writes the 1-4 byte form of codePoint and a NUL (at most 5 bytes);
   from U+110000 up only the NUL. Returns the byte length, NUL excluded. */
int Utf8EncodeChar(char *destination, uint32_t codePoint);
/* One character in the current encoding into an 8-byte buffer: ISO-8859-1
   mode the low 8 bits then zero bytes, UTF-8 mode as Utf8EncodeChar. */
void PutCharInEncoding(char buffer[8], uint32_t character);

/* ---- Conversion between ISO-8859-1 and UTF-8 ----
   A destination of Latin1ToUtf8 needs 2 * strlen(source) + 1 bytes; one of
   the UTF-8 to ISO-8859-1 conversions needs byte count (or strlen) + 1.
   Characters without an ISO-8859-1 form become "?". */

void Latin1ToUtf8(const char *source, char *destination);
char *Latin1ToUtf8Alloc(const char *source);
/* Converts byteCount bytes of source (reading no further). When position
   is given and holds a pointer into the source at a character start (or
   at source + byteCount), it is replaced by the matching destination
   pointer. */
void Utf8ToLatin1Tracked(const char *source, char *destination, ptrdiff_t byteCount, const char **position);
char *Utf8ToLatin1TrackedAlloc(const char *source, const char **position);
void Utf8ToLatin1N(const char *source, char *destination, ptrdiff_t byteCount);
void Utf8ToLatin1(const char *source, char *destination);
char *Utf8ToLatin1Alloc(const char *source);
/* A new copy converted 0 -> 1 or 1 -> 0; null for any other pair. */
char *ConvertEncodingAlloc(const char *text, int fromEncoding, int toEncoding);

/* ---- Character classes (1 or 0) ---- */

/* ISO-8859-1 byte tests; values above 0xFF are in no class. */
int IsGraphLatin1(uint32_t byte);
int IsAlphaLatin1(uint32_t byte);
int IsAlNumLatin1(uint32_t byte);
int IsLowerLatin1(uint32_t byte);
int IsUpperLatin1(uint32_t byte);
/* Unicode code point tests (Unicode 8.0 data). */
int IsUnicodeAlpha(uint32_t c);
int IsUnicodeLower(uint32_t c);
int IsUnicodeUpper(uint32_t c);
int IsUnicodeCntrl(uint32_t c);
int IsUnicodeDigit(uint32_t c);
int IsUnicodeXDigit(uint32_t c);
int IsUnicodePunct(uint32_t c);
int IsUnicodeSpace(uint32_t c);
int IsUnicodeGraph(uint32_t c);
int IsUnicodePrint(uint32_t c);
int IsUnicodeAlNum(uint32_t c);
/* In the current encoding: the code point test in UTF-8 mode, else the
   byte test on the low 8 bits. */
int IsGraphChar(uint32_t c);
int IsAlphaChar(uint32_t c);
int IsAlNumChar(uint32_t c);

/* ---- Case mapping ---- */

uint32_t ToLowerLatin1(uint32_t c); /* low 8 bits through the byte table */
uint32_t ToUpperLatin1(uint32_t c);
uint32_t UnicodeToLower(uint32_t c); /* simple mappings */
uint32_t UnicodeToUpper(uint32_t c);
uint32_t ToLowerChar(uint32_t c); /* in the current encoding */
uint32_t ToUpperChar(uint32_t c);
/* In place, in the current encoding; return text. A UTF-8 character whose
   mapping has another byte length is left as it is. */
char *LowerCaseInPlace(char *text);
char *UpperCaseInPlace(char *text);
char *Utf8LowerCaseInPlace(char *text);
char *Utf8UpperCaseInPlace(char *text);

/* ---- Case-insensitive comparison: negative, 0 (equal) or positive ----
   UTF-8 forms compare code points after simple case folding (so U+00DF is
   not "ss"). */

int Utf8CompareRangesNoCase(const char *a, const char *b, const char *endA, const char *endB);
int Utf8CompareNoCase(const char *a, const char *b);
/* At most n bytes of each (fewer when a string is shorter). */
int Utf8NCompareNoCase(const char *a, const char *b, size_t n);
/* Exactly n bytes of each. */
int Utf8CompareBytesNoCase(const char *a, const char *b, size_t n);
/* Byte by byte after upper-casing: the byte table in ISO-8859-1 mode; in
   UTF-8 mode only ASCII bytes are mapped. Result: difference of the first
   unequal mapped bytes. */
int Latin1CompareNoCase(const char *a, const char *b);
int Latin1NCompareNoCase(const char *a, const char *b, size_t n);
/* In the current encoding; script names of commands and globals are
   compared with these. */
int StrCompareNoCase(const char *a, const char *b);
int StrNCompareNoCase(const char *a, const char *b, size_t n);

#ifdef __cplusplus
}
#endif
