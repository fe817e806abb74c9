// Shared state and helpers of the dos library's files.
#pragma once

#include <string>

#include "errors/errors.h"
#include "engine/runtime/runtime.h"
#include "io/dos/dos.h"
#include "streams/path_lock.h"

namespace cxdos {

// Script modes of OpenFile.
enum { MODE_READWRITE = 1004, MODE_READ = 1005, MODE_WRITE = 1006 };

// The library's two switches.
struct Switches {
    uint32_t carriageReturn = 0;
    uint32_t ioMode = 0;  // 0 buffered, 1 unbuffered
};
Switches &GetSwitches();

cxObjectList *FileList();
cxObjectList *DirectoryList();

// The current encoding as an encoding argument: 1 UTF-8, 0 ISO-8859-1.
int CurrentEncoding();
// An optional integer argument.
int OptInt(lua_State *L, int index, int def);

// Finds the file named by the ID at index.
int FindFileArg(lua_State *L, int index, cxFile **out);
int CheckReadable(const cxFile *f);
int CheckWritable(const cxFile *f);

// Moves bytes through the buffered or unbuffered path as SetIOMode says.
size_t ReadBytes(cxStream *s, void *buffer, size_t n);
size_t WriteBytes(cxStream *s, const void *buffer, size_t n);

// Fills the attribute fields of the table on top of the stack.
void PushAttributeFields(lua_State *L, const cxOsFileInfo &info, bool withSize);
// "dd-Mon-yyyy hh:mm:ss" of a local time.
std::string FormatFileDate(int64_t seconds);

// Frees every record of a kind (clean-up).
void CloseAllFiles(lua_State *L);
void FreeAllDirectories(lua_State *L);
void FreeAllVirtualStringFiles(lua_State *L);
void InstallVirtualFileResolver();
// The "DIR*" and "FILE*" metatables.
void RegisterDirMetatable(lua_State *L);
void RegisterFileMetatable(lua_State *L);

// Commands, by the file that holds them.
// files.cpp
int OpenFile(lua_State *L);
int CloseFile(lua_State *L);
int Seek(lua_State *L);
int FilePos(lua_State *L);
int FileLength(lua_State *L);
int Eof(lua_State *L);
int FlushFile(lua_State *L);
int SetIOMode(lua_State *L);
int UseCarriageReturn(lua_State *L);
// file_items.cpp
int ReadByte(lua_State *L);
int ReadChr(lua_State *L);
int ReadShort(lua_State *L);
int ReadInt(lua_State *L);
int ReadFloat(lua_State *L);
int WriteByte(lua_State *L);
int WriteChr(lua_State *L);
int WriteShort(lua_State *L);
int WriteInt(lua_State *L);
int WriteFloat(lua_State *L);
// file_text.cpp
int ReadLine(lua_State *L);
int WriteLine(lua_State *L);
int ReadString(lua_State *L);
int ReadBytesCmd(lua_State *L);
int WriteString(lua_State *L);
int WriteBytesCmd(lua_State *L);
// whole_files.cpp
int FileToString(lua_State *L);
int StringToFile(lua_State *L);
int FileLines(lua_State *L);
int ApplyPatch(lua_State *L);
// paths.cpp
int Exists(lua_State *L);
int HaveVolume(lua_State *L);
int IsDirectory(lua_State *L);
int FileSize(lua_State *L);
int MakeDirectory(lua_State *L);
int Rename(lua_State *L);
int FilePart(lua_State *L);
int PathPart(lua_State *L);
int FullPath(lua_State *L);
int MatchPattern(lua_State *L);
int GetVolumeName(lua_State *L);
int GetVolumeInfo(lua_State *L);
int GetAsset(lua_State *L);
// attributes.cpp
int GetFileAttributes(lua_State *L);
int FileAttributes(lua_State *L);
int SetFileAttributes(lua_State *L);
// directories.cpp
int OpenDirectory(lua_State *L);
int CloseDirectory(lua_State *L);
int NextDirectoryEntry(lua_State *L);
int GetDirectoryEntry(lua_State *L);
int RewindDirectory(lua_State *L);
int CountDirectoryEntries(lua_State *L);
int ReadDirectory(lua_State *L);
int DirectoryItems(lua_State *L);
int MonitorDirectory(lua_State *L);
// virtual_files.cpp
int DefineVirtualFile(lua_State *L);
int DefineVirtualFileFromString(lua_State *L);
int UndefineVirtualStringFile(lua_State *L);
// packing.cpp
int CompressFile(lua_State *L);
int DecompressFile(lua_State *L);
// checksums.cpp
int MD5(lua_State *L);
int CRC32(lua_State *L);
// table_files.cpp
int WriteTable(lua_State *L);
int ReadTable(lua_State *L);
int WriteFunction(lua_State *L);
int ReadFunction(lua_State *L);
// programs.cpp
int Execute(lua_State *L);
int Run(lua_State *L);
// Stops every program thread and frees the records (clean-up).
void FreeAllPrograms(lua_State *L);
// Records of programs started by Run whose end was not served yet.
int CountRunningPrograms();
// environment.cpp
int GetEnv(lua_State *L);
int SetEnv(lua_State *L);
int UnsetEnv(lua_State *L);
int ChangeDirectory(lua_State *L);
int GetCurrentDirectory(lua_State *L);
// temp_files.cpp
int GetTempFileName(lua_State *L);
// A new empty temporary file deleted at the end of the run; a linked file
// name gives it that name's extension and is remembered with it.
int CreateTempFileName(const char *linkedName, char *out, size_t size);
// The temporary file made for a linked file of that name, or null.
const char *FindExtractedFile(const char *linkedName);
// Deletes a temporary file and drops it from the list.
void ForgetTempFile(const char *path);
// copy_files.cpp, move_files.cpp, delete_files.cpp
int CopyFile(lua_State *L);
int MoveFile(lua_State *L);
int DeleteFile(lua_State *L);

}  // namespace cxdos
