// The "dos" library: its commands, constants, object lists and clean-up.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "engine/lib/memblock/memblock.h"
#include "engine/runtime/preferences.h"
#include "io/dos/dos_internal.h"

namespace cxdos {

namespace {

const luaL_reg kCommands[] = {
    {"OpenFile", OpenFile},
    {"CloseFile", CloseFile},
    {"ReadChr", ReadChr},
    {"ReadByte", ReadByte},
    {"ReadShort", ReadShort},
    {"ReadInt", ReadInt},
    {"ReadFloat", ReadFloat},
    {"ReadLine", ReadLine},
    {"ReadString", ReadString},
    {"ReadBytes", ReadBytesCmd},
    {"WriteChr", WriteChr},
    {"WriteByte", WriteByte},
    {"WriteShort", WriteShort},
    {"WriteInt", WriteInt},
    {"WriteFloat", WriteFloat},
    {"WriteLine", WriteLine},
    {"WriteString", WriteString},
    {"WriteBytes", WriteBytesCmd},
    {"Seek", Seek},
    {"FilePos", FilePos},
    {"FileLength", FileLength},
    {"Eof", Eof},
    {"FlushFile", FlushFile},
    {"SetIOMode", SetIOMode},
    {"UseCarriageReturn", UseCarriageReturn},
    {"FileToString", FileToString},
    {"StringToFile", StringToFile},
    {"FileLines", FileLines},
    {"ApplyPatch", ApplyPatch},
    {"Exists", Exists},
    {"FileSize", FileSize},
    {"IsDirectory", IsDirectory},
    {"MakeDirectory", MakeDirectory},
    {"Rename", Rename},
    {"GetFileAttributes", GetFileAttributes},
    {"FileAttributes", FileAttributes},
    {"SetFileAttributes", SetFileAttributes},
    {"PathPart", PathPart},
    {"FilePart", FilePart},
    {"FullPath", FullPath},
    {"MatchPattern", MatchPattern},
    {"GetVolumeName", GetVolumeName},
    {"GetVolumeInfo", GetVolumeInfo},
    {"HaveVolume", HaveVolume},
    {"GetAsset", GetAsset},
    {"OpenDirectory", OpenDirectory},
    {"CloseDirectory", CloseDirectory},
    {"NextDirectoryEntry", NextDirectoryEntry},
    {"GetDirectoryEntry", GetDirectoryEntry},
    {"RewindDirectory", RewindDirectory},
    {"CountDirectoryEntries", CountDirectoryEntries},
    {"ReadDirectory", ReadDirectory},
    {"DirectoryItems", DirectoryItems},
    {"MonitorDirectory", MonitorDirectory},
    {"DefineVirtualFile", DefineVirtualFile},
    {"DefineVirtualFileFromString", DefineVirtualFileFromString},
    {"UndefineVirtualStringFile", UndefineVirtualStringFile},
    {"CompressFile", CompressFile},
    {"DecompressFile", DecompressFile},
    {"MD5", MD5},
    {"CRC32", CRC32},
    {"WriteTable", WriteTable},
    {"ReadTable", ReadTable},
    {"WriteFunction", WriteFunction},
    {"ReadFunction", ReadFunction},
    {"Execute", Execute},
    {"Run", Run},
    {"GetEnv", GetEnv},
    {"SetEnv", SetEnv},
    {"UnsetEnv", UnsetEnv},
    {"ChangeDirectory", ChangeDirectory},
    {"GetCurrentDirectory", GetCurrentDirectory},
    {"GetTempFileName", GetTempFileName},
    {"CopyFile", CopyFile},
    {"MoveFile", MoveFile},
    {"DeleteFile", DeleteFile},
    {nullptr, nullptr},
};

const luaL_Const kConstants[] = {
    {"FREESPACE", nullptr, 1},
    {"USEDSPACE", nullptr, 0},
    {"EOF", nullptr, -1},
    {"MODE_READWRITE", nullptr, 1004},
    {"MODE_WRITE", nullptr, 1006},
    {"MODE_READ", nullptr, 1005},
    {"COPYFILE_STATUS", nullptr, 0},
    {"COPYFILE_OVERWRITE", nullptr, 1},
    {"COPYFILE_UNPROTECT", nullptr, 2},
    {"MOVEFILE_UNPROTECT", nullptr, 0},
    {"MOVEFILE_COPY", nullptr, 1},
    {"MOVEFILE_DELETE", nullptr, 2},
    {"DELETEFILE_STATUS", nullptr, 0},
    {"DELETEFILE_UNPROTECT", nullptr, 1},
    {"IO_BUFFERED", nullptr, 0},
    {"IO_UNBUFFERED", nullptr, 1},
    {"FILEATTR_NORMAL", nullptr, 65536},
    {"FILEATTR_READ_USR", nullptr, 1},
    {"FILEATTR_WRITE_USR", nullptr, 2},
    {"FILEATTR_DELETE_USR", nullptr, 4},
    {"FILEATTR_EXECUTE_USR", nullptr, 8},
    {"FILEATTR_READ_GRP", nullptr, 512},
    {"FILEATTR_WRITE_GRP", nullptr, 1024},
    {"FILEATTR_EXECUTE_GRP", nullptr, 2048},
    {"FILEATTR_READ_OTH", nullptr, 4096},
    {"FILEATTR_WRITE_OTH", nullptr, 8192},
    {"FILEATTR_EXECUTE_OTH", nullptr, 16384},
    {"FILEATTR_PURE", nullptr, 16},
    {"FILEATTR_ARCHIVE", nullptr, 32},
    {"FILEATTR_SCRIPT", nullptr, 64},
    {"FILEATTR_HIDDEN", nullptr, 128},
    {"FILEATTR_SYSTEM", nullptr, 256},
    {"FILEATTR_READONLY", nullptr, 32768},
    {"DOSTYPE_FILE", nullptr, 0},
    {"DOSTYPE_DIRECTORY", nullptr, 1},
    {"SEEK_BEGINNING", nullptr, 1},
    {"SEEK_CURRENT", nullptr, 0},
    {"SEEK_END", nullptr, 2},
    {"COUNTFILES", nullptr, 0},
    {"COUNTDIRECTORIES", nullptr, 1},
    {"COUNTBOTH", nullptr, 2},
    {nullptr, nullptr, 0},
};

// The memory-block library reads and writes files through this.
int FindForMemBlock(cxObjectID id, cxFileAccess *out) {
    cxFile *f;
    if (int err = FindFileObject(id, &f)) return err;
    out->openMode = static_cast<int>(f->streamMode);
    out->stream = f->stream;
    out->unbuffered = static_cast<int>(GetSwitches().ioMode);
    return 0;
}

}  // namespace

}  // namespace cxdos

extern "C" int OpenDosLibrary(lua_State *L) {
    using namespace cxdos;
    RegisterFileMetatable(L);
    RegisterDirMetatable(L);
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "dos")) return err;
    luaL_openconstants(L, kConstants, 0);
    RegisterObjectList(FileList());
    RegisterObjectList(DirectoryList());
    InstallVirtualFileResolver();
    SetFileObjectFinder(FindForMemBlock);
    // The engine keeps the preferences file in the table files' encoding.
    const cxTableCodecHooks codec{SerializeTable, DeserializeTable};
    SetTableCodecHooks(&codec);
    return 0;
}

extern "C" void FreeDosObjects(lua_State *L) {
    using namespace cxdos;
    CloseAllFiles(L);
    FreeAllDirectories(L);
    FreeAllVirtualStringFiles(L);
    FreeAllPrograms(L);
}
