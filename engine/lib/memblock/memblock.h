// The "memblock" library: raw byte buffers with typed reads and writes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "streams/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Item types (the system library's type constants). */
enum {
    CX_TYPE_LONG = 1, /* also INTEGER */
    CX_TYPE_STRING = 3,
    CX_TYPE_SHORT = 6, /* also WORD */
    CX_TYPE_BYTE = 7,
    CX_TYPE_FLOAT = 11,
    CX_TYPE_DOUBLE = 12
};
/* Byte orders. */
enum { CX_BIGENDIAN = 0, CX_NATIVEENDIAN = 1, CX_LITTLEENDIAN = 2 };

typedef struct cxMemBlock {
    cxObjectHeader header; /* kind CX_OBJ_MEMORY */
    int32_t size;          /* 0: unsized, no bound checks */
    unsigned char *data;
    int32_t notOwned;      /* the bytes belong to somebody else */
    /* A block over a copied virtual string file: the file's reference and
       serial (-1: none). Its data follows the file's bytes, which move when
       the file grows, and the file cannot be undefined while it exists. */
    int32_t virtualRef;
    uint32_t virtualSerial;
} cxMemBlock;

/* Bytes of one item of a type (1..12), 0 for a type without a fixed size. */
int GetItemSize(int type);
/* Stores value as one item of type in the byte order at dest (GetItemSize
   bytes). FLOAT and DOUBLE take the number; the others its 32-bit integer
   view (negative values signed), cut to the item size. 0, or ERR_WRONGUSAGE
   for a type without a size or an unknown byte order. */
int StoreMemItem(unsigned char *dest, int type, double value, int byteOrder);

/* The open file behind a file ID, as the dos library hands it out. */
typedef struct cxFileAccess {
    int openMode; /* 1 read only, 2 write only, else read and write */
    cxStream *stream;
    int unbuffered; /* move bytes with ReadStream/WriteStreamData */
} cxFileAccess;
/* 0 and *out, or ERR_FINDARRAY (automatic ID) or ERR_FINDFILE (number). */
typedef int (*cxFileObjectFinder)(cxObjectID id, cxFileAccess *out);
/* Installed by the dos library; without one ReadMem and WriteMem cannot
   find any file. */
void SetFileObjectFinder(cxFileObjectFinder finder);
/* The installed finder (null when none); the sound library reads files
   through it too. */
cxFileObjectFinder GetFileObjectFinder(void);

/* Resolves the ":::chunkS" virtual string files for AllocMemFromVirtualFile
   (the dos library installs the resolver it gives the stream layer). */
void SetMemBlockVirtualResolver(cxVirtualBlockResolver resolver);

/* The list of blocks, in creation order. */
cxObjectList *GetMemBlockList(void);
/* Finds a block; 0, ERR_FINDARRAY or ERR_FINDMEMBLK (number as detail). */
int FindMemBlock(cxObjectID id, cxMemBlock **out);
/* Frees every block (clean-up at the end of a run). */
void FreeMemBlocks(lua_State *L);

#ifdef __cplusplus
}
#endif
