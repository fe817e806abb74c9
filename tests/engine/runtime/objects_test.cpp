// Object lists, lookups by ID and the values attached to objects.
#include <cstdlib>

#include "tests/engine/runtime/vm_fixture.h"

namespace {

using cxtest::VmTest;

struct Thing {
    cxObjectHeader header;
    int payload;
};

TEST(ObjectLists, LookupsGiveTheKindsOwnCodes) {
    cxObjectList list = {CX_OBJ_BRUSH, ERR_FINDBRUSH, nullptr, nullptr};
    Thing a{}, b{}, c{};
    InitObjectHeader(&a.header, CX_OBJ_BRUSH, 1, 0);
    InitObjectHeader(&b.header, CX_OBJ_BRUSH, 0, 1);
    InitObjectHeader(&c.header, CX_OBJ_BRUSH, 3, 0);
    AddObject(&list, &a.header);
    AddObject(&list, &b.header);
    AddObject(&list, &c.header);
    EXPECT_EQ(b.header.idPointer, &b);
    EXPECT_EQ(b.header.idNumber, 0);

    cxObjectHeader *h = nullptr;
    EXPECT_EQ(FindObject(&list, cxObjectID{3, nullptr}, &h), 0);
    EXPECT_EQ(h, &c.header);
    EXPECT_EQ(FindObject(&list, GetObjectID(&b.header), &h), 0);
    EXPECT_EQ(h, &b.header);
    // a number that names nothing: the kind's message with the number
    EXPECT_EQ(FindObject(&list, cxObjectID{7, nullptr}, &h), ERR_FINDBRUSH);
    char text[256];
    EXPECT_STREQ(GetErrorText(ERR_FINDBRUSH, text, sizeof text), "Could not find brush 7!");
    // an automatic ID that names nothing
    EXPECT_EQ(FindObject(&list, cxObjectID{0, &h}, &h), ERR_FINDARRAY);
    EXPECT_STREQ(GetErrorText(ERR_FINDARRAY, text, sizeof text), "Requested object not found!");
    // number 0 is not the automatic ID of b
    EXPECT_EQ(FindObject(&list, cxObjectID{0, nullptr}, &h), ERR_FINDBRUSH);

    // creation order survives removal
    EXPECT_EQ(RemoveObject(&list, &b.header), 1);
    EXPECT_EQ(RemoveObject(&list, &b.header), 0);
    EXPECT_EQ(list.first, &a.header);
    EXPECT_EQ(a.header.next, &c.header);

    RegisterObjectList(&list);
    RegisterObjectList(&list);
    EXPECT_EQ(GetObjectList(CX_OBJ_BRUSH), &list);
    EXPECT_EQ(FindObjectByKind(CX_OBJ_BRUSH, cxObjectID{1, nullptr}, &h), 0);
    EXPECT_EQ(FindObjectByKind(CX_OBJ_SAMPLE, cxObjectID{1, nullptr}, &h), ERR_WRONGUSAGE);
    cxObjectList other = {CX_OBJ_BRUSH, ERR_FINDBRUSH, nullptr, nullptr};
    RegisterObjectList(&other);
    EXPECT_EQ(GetObjectList(CX_OBJ_BRUSH), &other);
    ClearObjectListRegistry();
    EXPECT_EQ(GetObjectList(CX_OBJ_BRUSH), nullptr);
}

TEST_F(VmTest, ObjectDataIsSetReplacedCopiedAndFreed) {
    cxObjectHeader h;
    InitObjectHeader(&h, CX_OBJ_SAMPLE, 1, 0);
    lua_pushstring(L, "first");
    ASSERT_EQ(SetObjectData(L, &h, "name", -1), 0);
    lua_pushnumber(L, 42);
    ASSERT_EQ(SetObjectData(L, &h, "count", -1), 0);
    lua_pushstring(L, "second");
    ASSERT_EQ(SetObjectData(L, &h, "name", -1), 0); // replaces
    lua_settop(L, 0);

    cxObjectData *copy = nullptr;
    ASSERT_EQ(CopyObjectDataList(L, h.data, &copy), 0);
    FreeObjectDataList(L, h.data);
    h.data = copy;
    lua_setgcthreshold(L, 0); // the copy's references keep the values alive
    ASSERT_EQ(GetObjectData(L, &h, "name"), 0);
    EXPECT_EQ(Str(-1), "second");
    ASSERT_EQ(GetObjectData(L, &h, "count"), 0);
    EXPECT_EQ(Num(-1), 42);
    EXPECT_EQ(GetObjectData(L, &h, "missing"), ERR_FINDOBJECTDATA);
    char text[256];
    EXPECT_STREQ(GetErrorText(ERR_FINDOBJECTDATA, text, sizeof text), "Could not find object data \"missing\"!");
    FreeObjectDataList(L, h.data);
}

TEST_F(VmTest, ScriptCommandsAttachDataToRegisteredObjects) {
    ASSERT_EQ(OpenScriptLibraries(L), 0);
    ASSERT_EQ(Call("AllocMem", [&] {
                  lua_pushnil(L);
                  lua_pushnumber(L, 8);
              }),
              0);
    void *block = lua_touserdata(L, 1);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Call("SetObjectData", [&] {
                  lua_pushnumber(L, CX_OBJ_MEMORY);
                  lua_pushlightuserdata(L, block);
                  lua_pushstring(L, "owner");
                  lua_pushstring(L, "me");
              }),
              0);
    EXPECT_EQ(Call("GetObjectData", [&] {
                  lua_pushnumber(L, CX_OBJ_MEMORY);
                  lua_pushlightuserdata(L, block);
                  lua_pushstring(L, "owner");
              }),
              0);
    EXPECT_EQ(Str(1), "me");
    EXPECT_EQ(Call("GetObjectData", [&] {
                  lua_pushnumber(L, CX_OBJ_MEMORY);
                  lua_pushnumber(L, 5);
                  lua_pushstring(L, "owner");
              }),
              ERR_FINDMEMBLK);
    EXPECT_EQ(GetErrorNumber(), 5);
}

} // namespace
