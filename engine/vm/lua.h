// The script engine's virtual machine: the C interface used by commands,
// libraries and plug-ins. Errors are int codes (errors/error_codes.h);
// a raise never returns and unwinds to the nearest protected call.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
#define LUA_NORETURN [[noreturn]]
extern "C" {
#else
#define LUA_NORETURN _Noreturn
#endif

/* Pseudo-indices. Upvalue i (from 1) of a running C closure is
   lua_upvalueindex(i); upvalue 1 is -10002. */
#define LUA_REGISTRYINDEX (-10000)
#define LUA_GLOBALSINDEX (-10001)
#define lua_upvalueindex(i) (LUA_GLOBALSINDEX - (i))

/* "All results" for lua_call and lua_pcall. */
#define LUA_MULTRET (-1)

/* Type numbers; LUA_TNONE is the type of an absent (non-valid) index. */
#define LUA_TNONE (-1)
#define LUA_TNIL 0
#define LUA_TBOOLEAN 1
#define LUA_TLIGHTUSERDATA 2
#define LUA_TNUMBER 3
#define LUA_TSTRING 4
#define LUA_TTABLE 5
#define LUA_TFUNCTION 6
#define LUA_TUSERDATA 7
#define LUA_TTHREAD 8

/* Slots every C function may use without lua_checkstack. */
#define LUA_MINSTACK 20
/* lua_checkstack refuses to grow a C function's frame beyond this. */
#define LUA_MAXCSTACK 2048

typedef struct lua_State lua_State;
typedef double lua_Number;

/* A command: returns the number of results pushed (0..999), -1 or -2 to
   request a gosub (see lua_setjumpoffset), or an error code (1000 and up;
   any other value is an error too). */
typedef int (*lua_CFunction)(lua_State *L);

typedef const char *(*lua_Chunkreader)(lua_State *L, void *ud, size_t *size);
/* Returns 0 on success; anything else stops the dump with that code. */
typedef int (*lua_Chunkwriter)(lua_State *L, const void *p, size_t size, void *ud);

/* ---- state ---- */
lua_State *lua_open(void);
void lua_close(lua_State *L);
lua_CFunction lua_atpanic(lua_State *L, lua_CFunction panicf);

/* ---- stack ---- */
int lua_gettop(lua_State *L);
void lua_settop(lua_State *L, int idx);
void lua_pushvalue(lua_State *L, int idx);
void lua_remove(lua_State *L, int idx);
void lua_insert(lua_State *L, int idx);
void lua_replace(lua_State *L, int idx);
/* 1 when n more slots are available, 0 when the frame would pass
   LUA_MAXCSTACK slots or the stack is exhausted. */
int lua_checkstack(lua_State *L, int n);

/* ---- access ---- */
int lua_isnumber(lua_State *L, int idx);
int lua_isstring(lua_State *L, int idx);
int lua_iscfunction(lua_State *L, int idx);
int lua_isuserdata(lua_State *L, int idx);
int lua_type(lua_State *L, int idx);
const char *lua_typename(lua_State *L, int tp);

int lua_equal(lua_State *L, int idx1, int idx2);
int lua_rawequal(lua_State *L, int idx1, int idx2);
int lua_lessthan(lua_State *L, int idx1, int idx2);

lua_Number lua_tonumber(lua_State *L, int idx);
int lua_toboolean(lua_State *L, int idx);
const char *lua_tostring(lua_State *L, int idx);
size_t lua_strlen(lua_State *L, int idx);
lua_CFunction lua_tocfunction(lua_State *L, int idx);
void *lua_touserdata(lua_State *L, int idx);
lua_State *lua_tothread(lua_State *L, int idx);
const void *lua_topointer(lua_State *L, int idx);

/* ---- push ---- */
void lua_pushnil(lua_State *L);
void lua_pushnumber(lua_State *L, lua_Number n);
void lua_pushlstring(lua_State *L, const char *s, size_t len);
/* A string built in place, for data that arrives piece by piece:
   lua_newstringbuffer reserves size bytes (null when memory runs out);
   lua_resizestringbuffer gives it a new size (null, the buffer unchanged,
   when memory runs out); lua_pushstringbuffer pushes its first len bytes
   (at most its size) as a string and takes the buffer over, without a copy;
   lua_freestringbuffer drops one that is not pushed. Until it is pushed the
   buffer is plain memory that the collector does not see. */
char *lua_newstringbuffer(lua_State *L, size_t size);
char *lua_resizestringbuffer(lua_State *L, char *buffer, size_t size);
void lua_pushstringbuffer(lua_State *L, char *buffer, size_t len);
void lua_freestringbuffer(lua_State *L, char *buffer);
void lua_pushstring(lua_State *L, const char *s); /* null pushes nil */
void lua_pushcclosure(lua_State *L, lua_CFunction fn, int n);
void lua_pushboolean(lua_State *L, int b);
void lua_pushlightuserdata(lua_State *L, void *p);
#define lua_pushcfunction(L, f) lua_pushcclosure(L, f, 0)

/* ---- get ---- */
void lua_gettable(lua_State *L, int idx);
void lua_rawget(lua_State *L, int idx);
void lua_rawgeti(lua_State *L, int idx, int n);
void lua_newtable(lua_State *L);
void lua_createtable(lua_State *L, int narr, int nrec);
void *lua_newuserdata(lua_State *L, size_t sz);
int lua_getmetatable(lua_State *L, int objindex);
void lua_getfenv(lua_State *L, int idx);

/* ---- set ---- */
void lua_settable(lua_State *L, int idx);
void lua_rawset(lua_State *L, int idx);
void lua_rawseti(lua_State *L, int idx, int n);
int lua_setmetatable(lua_State *L, int objindex);
int lua_setfenv(lua_State *L, int idx);

/* ---- calls ---- */
void lua_call(lua_State *L, int nargs, int nresults);
/* 0, or the error code with the function and its arguments removed and
   nothing pushed. errfunc (0 for none) is called with the code while the
   failing frames still exist; a number it returns replaces the code. */
int lua_pcall(lua_State *L, int nargs, int nresults, int errfunc);
/* Pushes the loaded main function and returns 0, or returns an error code
   (1198..1205, 1000) and pushes nothing. Only precompiled chunks load. */
int lua_load(lua_State *L, lua_Chunkreader reader, void *data, const char *chunkname);
/* Writes the script function at idx as a chunk; 1324 for a C function. */
int lua_dump(lua_State *L, int idx, lua_Chunkwriter writer, void *data);

/* ---- garbage collector (figures in kilobytes) ---- */
int lua_getgcthreshold(lua_State *L);
int lua_getgccount(lua_State *L);
/* Sets the threshold; collects at once when the count reaches it (so 0
   forces a full collection). */
void lua_setgcthreshold(lua_State *L, int newthreshold);

/* ---- miscellaneous ---- */
int lua_next(lua_State *L, int idx);
void lua_concat(lua_State *L, int n);
int lua_pushupvalues(lua_State *L);
const char *lua_getupvalue(lua_State *L, int funcindex, int n);
const char *lua_setupvalue(lua_State *L, int funcindex, int n);

/* Raises a script error by its code; never returns. Records the error
   position (see SetErrorPosition). */
LUA_NORETURN void luaG_runerror(lua_State *L, int code);

/* ---- the system's call machinery ---- */
/* The jump offset word: a command sets it before returning -1 or -2. */
void lua_setjumpoffset(lua_State *L, int offset);
/* The calling-instruction word: index, within its function's code, of the
   last call instruction executed. */
int lua_getcallinstr(lua_State *L);
/* Error dispatch: called when a command called by a script fails (returned
   or raised code, without the capture flag). Return 0 when the error was
   handled (the call then yields no values), or the code to raise. */
typedef int (*lua_ErrorDispatch)(lua_State *L, int code, void *ud);
void lua_seterrordispatch(lua_State *L, lua_ErrorDispatch f, void *ud);
/* The stop flag: while set, the interpreter raises 1003 before the next
   instruction. May be set from another thread or a signal handler. */
void lua_setstopflag(lua_State *L, int on);
int lua_getstopflag(lua_State *L);
/* An abort flag owned by the host; when it reads nonzero after a hook, the
   hook caller raises 1003. Null for none. */
void lua_setabortflag(lua_State *L, const volatile unsigned int *flag);
/* A gate word owned by the host, for a line hook that has work only now and
   then: while the word reads 0 the line hook is not called and the script
   runs at full speed. Once any thread opens it (non-zero), the hook is called
   at the next jump, call or return, with the current line; the hook closes
   the gate again when it has taken the work. The gate belongs to the hook
   installed when it is set: lua_sethook with another function removes it.
   Null (the default): the hook is called for every new line. */
void lua_sethookgate(lua_State *L, const volatile unsigned int *gate);
/* Number of positions on the gosub return stack. */
int lua_getgosubdepth(lua_State *L);

/* ---- debug interface ---- */
#define LUA_HOOKCALL 0
#define LUA_HOOKRET 1
#define LUA_HOOKLINE 2
#define LUA_HOOKCOUNT 3
#define LUA_HOOKTAILRET 4

#define LUA_MASKCALL (1 << LUA_HOOKCALL)
#define LUA_MASKRET (1 << LUA_HOOKRET)
#define LUA_MASKLINE (1 << LUA_HOOKLINE)
#define LUA_MASKCOUNT (1 << LUA_HOOKCOUNT)

#define LUA_IDSIZE 60

typedef struct lua_Debug {
    int event;
    const char *name;     /* (n) */
    const char *namewhat; /* (n) "global", "method", "field" or "" */
    const char *what;     /* (S) "Lua", "C" or "main" */
    const char *source;   /* (S) */
    int currentline;      /* (l) */
    int nups;             /* (u) */
    int linedefined;      /* (S) */
    char short_src[LUA_IDSIZE]; /* (S) */
    int i_ci; /* private */
} lua_Debug;

/* A hook returns nonzero to stop the run; *code (preset to 0) may receive
   an error code. The hook caller raises *code when it is nonzero, else
   1003 when the hook returned nonzero or the abort flag is set. */
typedef int (*lua_Hook)(lua_State *L, lua_Debug *ar, int *code);

int lua_getstack(lua_State *L, int level, lua_Debug *ar);
int lua_getinfo(lua_State *L, const char *what, lua_Debug *ar);
int lua_sethook(lua_State *L, lua_Hook func, int mask, int count);
lua_Hook lua_gethook(lua_State *L);
int lua_gethookmask(lua_State *L);
int lua_gethookcount(lua_State *L);

/* ---- convenience ---- */
#define lua_pop(L, n) lua_settop(L, -(n)-1)
#define lua_register(L, n, f) (lua_pushstring(L, n), lua_pushcfunction(L, f), lua_settable(L, LUA_GLOBALSINDEX))
#define lua_isfunction(L, n) (lua_type(L, (n)) == LUA_TFUNCTION)
#define lua_istable(L, n) (lua_type(L, (n)) == LUA_TTABLE)
#define lua_islightuserdata(L, n) (lua_type(L, (n)) == LUA_TLIGHTUSERDATA)
#define lua_isnil(L, n) (lua_type(L, (n)) == LUA_TNIL)
#define lua_isboolean(L, n) (lua_type(L, (n)) == LUA_TBOOLEAN)
#define lua_isnone(L, n) (lua_type(L, (n)) == LUA_TNONE)
#define lua_isnoneornil(L, n) (lua_type(L, (n)) <= 0)
#define lua_pushliteral(L, s) lua_pushlstring(L, "" s, (sizeof(s) / sizeof(char)) - 1)
#define lua_getregistry(L) lua_pushvalue(L, LUA_REGISTRYINDEX)

#ifdef __cplusplus
}
#endif
