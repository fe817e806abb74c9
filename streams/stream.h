// The stream layer: one handle type for files of the operating system,
// windows of another file (":::chunk" names, used for files linked into the
// applet), memory blocks (":::memory" names and virtual string files) and,
// later, files served by file-adapter plug-ins.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxStream cxStream;

/* Open modes. READ, WRITE and READWRITE are exclusive; ADAPTERS may be added
   to let file-adapter plug-ins serve the name first. */
enum {
    CX_STREAM_READ = 1,      /* existing file, read only */
    CX_STREAM_WRITE = 2,     /* create or truncate, write only */
    CX_STREAM_READWRITE = 4, /* read and write; created when missing */
    CX_STREAM_ADAPTERS = 0x100,
    /* With CX_STREAM_WRITE, for a file of the operating system: the data
       goes into a new file that replaces the old one when CloseFileStream
       succeeds; DiscardFileStream, a failed write or a failed close keeps
       the old file as it was (platform/os_replace.h). */
    CX_STREAM_REPLACE = 0x200,
    /* With CX_STREAM_REPLACE: a link of that name is replaced itself, not
       the file it leads to. */
    CX_STREAM_NOFOLLOW = 0x400
};

/* Seek modes, numbered as scripts see them. */
enum { CX_SEEK_CURRENT = 0, CX_SEEK_BEGINNING = 1, CX_SEEK_END = 2 };

/* Flags of the file adapter that serves a stream. */
enum { CX_ADAPTER_STREAMING = 1, CX_ADAPTER_NOSEEK = 2 };

/* GetStreamSize when the size cannot be known. */
#define CX_STREAM_SIZE_UNKNOWN UINT64_MAX

/* Longest name the layer takes apart or builds. */
#define CX_STREAM_NAME_MAX 1024

/* Opens a stream by name: a ":::chunk" window, a ":::memory" block, a file
   served by a file adapter (only with CX_STREAM_ADAPTERS, when hooks are
   installed) or a file of the operating system. adapters is the "|"-list of
   adapters that may serve the file (null or "" for any). Null on failure. */
cxStream *OpenFileStream(const char *name, int mode, const char *adapters);
/* Opens a read-only window of length bytes at offset of a file. Reads and
   seeks never leave the window; a window that reaches past the end of the
   file is shortened to the file. Null on failure. */
cxStream *OpenWindowStream(const char *path, uint64_t offset, uint64_t length);
/* Flushes, closes and frees the handle. Non-zero on success, 0 when pending
   data could not be written, any earlier write failed or the close failed;
   the handle is freed either way. A null stream is a failure. */
int CloseFileStream(cxStream *s);
/* Closes and frees the handle, keeping nothing of what it wrote when it
   was opened with CX_STREAM_REPLACE (other streams are just closed). */
void DiscardFileStream(cxStream *s);
/* Writes pending data (and asks an adapter to flush). 0 or ERR_WRITE. */
int FlushStream(cxStream *s);
/* Writes the data waiting in the buffer, nothing more: 0, or ERR_WRITE when
   it could not be written (the data is then dropped). Commands that move,
   measure or read a stream call it first, so that a flush they cause is
   reported by them. */
int WritePendingData(cxStream *s);
/* 1 when any write of the stream failed so far (buffered data that could
   not be flushed included). */
int HasStreamLostData(cxStream *s);

/* Reads and writes return the number of bytes moved: fewer at the end of
   the data or on failure. ReadStream and WriteStreamData never use the
   buffer; ReadStreamData and WriteStream do. Both kinds may be mixed freely:
   positions stay consistent. */
size_t ReadStream(cxStream *s, void *buffer, size_t length);
size_t ReadStreamData(cxStream *s, void *buffer, size_t length);
size_t WriteStream(cxStream *s, const void *buffer, size_t length);
size_t WriteStreamData(cxStream *s, const void *buffer, size_t length);

/* Reads up to length bytes, stopping just after the first byte equal to
   delimiter; returns the bytes read, the delimiter included. buffered
   chooses the path as for ReadStreamData / ReadStream; the unbuffered path
   keeps no data between calls. */
size_t ReadStreamUntil(cxStream *s, void *buffer, size_t length, int delimiter, int buffered);

/* Next byte 0..255, or -1 at the end. */
int ReadStreamByte(cxStream *s);
/* 1 when the byte was taken, 0 otherwise. */
int WriteStreamByte(cxStream *s, int byte);

/* Integer readers. Missing bytes at the end of the data read as zero; check
   IsStreamEof where that matters. The 16-bit signed readers sign-extend. */
int ReadBE16(cxStream *s);
int ReadLE16(cxStream *s);
int ReadBEU16(cxStream *s);
int ReadLEU16(cxStream *s);
int32_t ReadBE32(cxStream *s);
int32_t ReadLE32(cxStream *s);
/* Writers return the number of bytes taken (2 or 4 on success). */
int WriteBE16(cxStream *s, int value);
int WriteLE16(cxStream *s, int value);
int WriteBE32(cxStream *s, int32_t value);
int WriteLE32(cxStream *s, int32_t value);

/* Moves to offset relative to mode (CX_SEEK_*). Returns the previous
   position, or -1 on failure (negative target, unknown size for
   CX_SEEK_END, an adapter that cannot seek). Offset 0 from the current
   position tells the position. Windows and memory blocks clamp the target
   to [0, size]. */
int64_t SeekFileStream(cxStream *s, int64_t offset, int mode);
/* Size in bytes, or CX_STREAM_SIZE_UNKNOWN. */
uint64_t GetStreamSize(cxStream *s);
/* Non-zero at the end of the data. */
int IsStreamEof(cxStream *s);
/* 1 when the serving adapter cannot seek freely. */
int IsStreamUnseekable(cxStream *s);
/* CX_ADAPTER_* flags of the serving adapter; 0 for the layer's own kinds. */
unsigned GetStreamAdapterFlags(cxStream *s);
/* The name the stream was opened by. */
const char *GetStreamName(cxStream *s);
/* The descriptor of a stream over a whole file of the operating system;
   -1 for windows, memory blocks and adapter files. */
int GetStreamDescriptor(cxStream *s);

/* ":::memory" names (shell/memory_name.h) open the registered block they
   name; such streams neither grow nor leave the block. */

/* The part of a virtual string file (a ":::chunkS" name) that the stream
   layer reads and writes; the dos library keeps it in its record. An owned
   block is a malloc allocation that writes grow in 65,536-byte steps. */
typedef struct cxVirtualBlock {
    unsigned char *data;
    uint32_t owned;
    uint32_t capacity;
    uint32_t length;
    /* Streams (and memory blocks) open on it: its owner must not free it
       while this is above 0. */
    uint32_t users;
    /* Tells this block from a later one that reuses its reference number. */
    uint32_t serial;
} cxVirtualBlock;
/* Finds the block behind a ":::chunkS" reference; null when it is gone.
   Streams look the block up again for every access, by its reference and
   serial, so a block freed under an open stream (at the end of a run)
   leaves the stream reading and writing nothing. */
typedef cxVirtualBlock *(*cxVirtualBlockResolver)(int reference);
void SetVirtualBlockResolver(cxVirtualBlockResolver resolver);

/* Where file-adapter plug-ins plug in. Open returns the adapter's handle, or
   null when no adapter in the list serves the name (the layer then opens the
   file itself); it reports the CX_ADAPTER_* flags. Seek takes CX_SEEK_*
   modes and returns the previous position or -1; GetSize returns -1 when
   the size is unknown; Eof may be null. No table is installed by default. */
typedef struct cxStreamAdapterHooks {
    void *(*Open)(const char *name, int mode, const char *adapters, unsigned *flags);
    int (*Close)(void *handle);
    int64_t (*Read)(void *handle, void *buffer, int64_t length);
    int64_t (*Write)(void *handle, const void *buffer, int64_t length);
    int64_t (*Seek)(void *handle, int64_t offset, int mode);
    int64_t (*GetSize)(void *handle);
    int (*Flush)(void *handle);
    int (*Eof)(void *handle);
} cxStreamAdapterHooks;
void SetStreamAdapterHooks(const cxStreamAdapterHooks *hooks);

#ifdef __cplusplus
}
#endif
