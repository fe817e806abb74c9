// Script objects: their IDs, kinds, the header every object record begins
// with, the per-kind object lists and the values scripts attach to objects.
#pragma once

#include <stdint.h>

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A script object's identity. A script names an object by a number of its
   own choice (pointer null), or gets an automatic ID: the address of the
   object's record as a light userdata (number 0). */
typedef struct cxObjectID {
    int32_t number;
    void *pointer;
} cxObjectID;

/* Object kinds. One numbering serves as object type, layer type,
   transition target and output target; plug-ins register kinds from
   CX_OBJ_FIRST_PLUGIN up. */
enum cxObjectKind {
    CX_OBJ_BGPIC = 1,
    CX_OBJ_SAMPLE = 2,
    CX_OBJ_BRUSH = 3,
    CX_OBJ_ANIM = 4,
    CX_OBJ_SNDMODULE = 5,
    CX_OBJ_TEXTOBJECT = 8,
    CX_OBJ_BRUSHPART = 12,
    CX_OBJ_BGPICPART = 13,
    CX_OBJ_DISPLAY = 21,
    CX_OBJ_LAYER = 22,
    CX_OBJ_MASK = 28,
    CX_OBJ_ALPHACHANNEL = 30,
    CX_OBJ_SPRITE = 32,
    CX_OBJ_MUSIC = 33,
    CX_OBJ_CLIPREGION = 35,
    CX_OBJ_POINTER = 36,
    CX_OBJ_MEMORY = 39,
    CX_OBJ_FONT = 43,
    CX_OBJ_FILE = 44,
    CX_OBJ_DIRECTORY = 45,
    CX_OBJ_VECTORPATH = 49,
    CX_OBJ_VIDEO = 50,
    CX_OBJ_TIMER = 53,
    CX_OBJ_CLIENT = 54,
    CX_OBJ_SERVER = 55,
    CX_OBJ_UDPOBJECT = 56,
    CX_OBJ_MENU = 57,
    CX_OBJ_ICON = 59,
    CX_OBJ_SERIAL = 60,
    CX_OBJ_FIRST_PLUGIN = 61
};

/* One value a script attached to an object (SetObjectData): a key and a
   registry reference to the value. */
typedef struct cxObjectData {
    struct cxObjectData *next;
    char *key;
    int ref;
} cxObjectData;

/* The leading fields of every object record. */
typedef struct cxObjectHeader {
    int32_t kind;
    int32_t idNumber;
    void *idPointer;
    cxObjectData *data;
    struct cxObjectHeader *next;
} cxObjectHeader;

/* The list of one kind's objects, owned by the library of that kind. Records
   are kept in creation order. notFoundCode is the kind's own "Could not find
   ... %d!" error for a number ID that names no object. registryNext belongs
   to the runtime's registry of lists. */
typedef struct cxObjectList {
    int32_t kind;
    int32_t notFoundCode;
    cxObjectHeader *first;
    struct cxObjectList *registryNext;
} cxObjectList;

/* ---- IDs ---- */

/* The ID a record was given. */
cxObjectID GetObjectID(const cxObjectHeader *header);
/* 1 when header carries exactly this ID (number and pointer). */
int ObjectHasID(const cxObjectHeader *header, cxObjectID id);
/* Zeroes the header, sets its kind and its ID: the number, or, when
   automatic is set, the record's own address. */
void InitObjectHeader(cxObjectHeader *header, int kind, int32_t number, int automatic);
/* The ID argument of a creating command: a number (pointer null), or Nil
   for an automatic ID, asked for by a non-null pointer that the new
   record's address replaces. */
cxObjectID ReadNewObjectID(lua_State *L, int index);

/* ---- lists ---- */

/* Appends a record to its list. */
void AddObject(cxObjectList *list, cxObjectHeader *header);
/* Unlinks a record; 1 when it was in the list. */
int RemoveObject(cxObjectList *list, cxObjectHeader *header);
/* Finds an object by ID. 0 and *out, or: ERR_FINDARRAY (1041) for an
   automatic ID, the list's notFoundCode with the number as error number for
   a number ID. */
int FindObject(const cxObjectList *list, cxObjectID id, cxObjectHeader **out);
/* The record with this ID, or null; sets no error. */
cxObjectHeader *LookupObject(const cxObjectList *list, cxObjectID id);

/* Registers a library's list so that lookups by kind see its records.
   Registering the same list again is harmless; a second list of an already
   registered kind replaces the first. */
void RegisterObjectList(cxObjectList *list);
void UnregisterObjectList(cxObjectList *list);
/* The registered list of a kind, or null. */
cxObjectList *GetObjectList(int kind);
/* FindObject in the registered list of a kind; ERR_WRONGUSAGE (1055) when
   no list of that kind is registered. */
int FindObjectByKind(int kind, cxObjectID id, cxObjectHeader **out);
/* Forgets every registered list (the lists themselves are their owners'). */
void ClearObjectListRegistry(void);

/* ---- values attached to objects ---- */

/* Stores the value at valueIndex under key in the object's list, replacing
   an older value of that key. 0 or ERR_MEM. */
int SetObjectData(lua_State *L, cxObjectHeader *header, const char *key, int valueIndex);
/* Pushes the value stored under key and returns 0; ERR_FINDOBJECTDATA
   (1496, key as detail) and nothing pushed when there is none. */
int GetObjectData(lua_State *L, const cxObjectHeader *header, const char *key);
/* Duplicates a list: new references to the same values. 0, or ERR_MEM
   with *out null and nothing left allocated. */
int CopyObjectDataList(lua_State *L, const cxObjectData *list, cxObjectData **out);
/* Frees every node and releases its reference. */
void FreeObjectDataList(lua_State *L, cxObjectData *list);

#ifdef __cplusplus
}
#endif
