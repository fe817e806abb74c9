// The key-name table, IsKeyDown and the key states, key texts of key
// events, joysticks (through a fake device) and the input commands that
// this platform answers with an error.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/joystick.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "display/events/key_names.h"
#include "errors/errors.h"
#include "platform/os_joystick.h"
#include "tests/display/events/event_fixture.h"

namespace {

using cxtest::Events;

TEST(KeyNames, LookupByName) {
    struct Case {
        const char *name;
        uint32_t code;
    } cases[] = {
        {"a", 97},     {"A", 65},        {"esc", 275},     {"Esc", 275}, {"SPACE", 276}, {"np5", 296},
        {"RCONTROL", 313}, {"~", 126},   {" ", 0},         {"\t", 0},    {"", 0},        {"nokey", 0},
        {"\xC3\xA9", 0}, {"F17", 0},     {"\x7F", 0},
    };
    for (const Case &c : cases) EXPECT_EQ(LookupKeyCode(c.name), c.code) << c.name;
    // Every code from 256 to 313 has exactly one row.
    for (uint32_t code = 256; code < 314; code++) {
        int rows = 0;
        for (const cxKeyName &k : kKeyNames) rows += k.code == code;
        EXPECT_EQ(rows, 1) << code;
    }
    EXPECT_STREQ(LookupKeyName(275, CX_KEYROW_ESC, CX_KEYNAME_COUNT), "ESC");
    EXPECT_EQ(LookupKeyName(272, CX_KEYROW_ESC, CX_KEYNAME_COUNT), nullptr);
    EXPECT_EQ(LookupKeyName(306, 0, CX_KEYROW_LSHIFT), nullptr);
}

TEST(KeyNames, ModifiersFromQualifiers) {
    EXPECT_EQ(ModifiersOfQualifiers(0x80000000u), 0u);
    EXPECT_EQ(ModifiersOfQualifiers(0x80410000u), 1u + 16u); // left shift, left control
    EXPECT_EQ(ModifiersOfQualifiers(0x80FF0000u), 255u);
    EXPECT_EQ(ModifiersOfQualifiers(0x80100000u), 64u); // left command
    EXPECT_EQ(ModifierQualifierMask(306), 0x80010000u);
    EXPECT_EQ(ModifierQualifierMask(313), 0x80800000u);
    EXPECT_EQ(ModifierQualifierMask(305), 0u);
}

TEST(KeyText, SpecialKeysByName) {
    struct Case {
        uint32_t code;
        int raw;
        const char *text;
    } cases[] = {{256, 0, "UP"}, {261, 1, "F1"}, {306, 0, "LSHIFT"}, {305, 0, "NPDIV"}, {273, 1, "ENTER"}};
    for (const Case &c : cases) {
        char out[32];
        KeyEventText(c.code, c.raw, out);
        EXPECT_STREQ(out, c.text) << c.code;
    }
}

class Input : public Events {
protected:
    int KeyDown(const char *name, int raw = -1) {
        return Call("IsKeyDown", [&] {
            lua_pushstring(L, name);
            if (raw >= 0) lua_pushnumber(L, raw);
        });
    }
    bool Down(const char *name, int raw = -1) {
        EXPECT_EQ(KeyDown(name, raw), 0) << name;
        return lua_toboolean(L, 1) != 0;
    }
};

TEST_F(Input, IsKeyDownReadsTheKeyTables) {
    uint8_t *keys = d->os.keyStates;
    uint8_t *raw = d->os.keyStates + CX_KEY_STATE_COUNT;
    EXPECT_FALSE(Down("any"));
    keys['a'] = 1;
    EXPECT_TRUE(Down("a"));
    EXPECT_FALSE(Down("A")) << "a and A are different keys";
    EXPECT_TRUE(Down("ANY"));
    EXPECT_FALSE(Down("any", 1));
    raw[275] = 1;
    EXPECT_FALSE(Down("esc"));
    EXPECT_TRUE(Down("esc", 1));
    // Modifiers: the normal table answers from the qualifiers only.
    keys[306] = 1;
    d->os.qualifiers = 0x80000000u;
    EXPECT_FALSE(Down("LSHIFT"));
    d->os.qualifiers = 0x80010000u;
    EXPECT_TRUE(Down("LSHIFT"));
    EXPECT_FALSE(Down("LSHIFT", 1));
    raw[306] = 1;
    EXPECT_TRUE(Down("LSHIFT", 1));
    ASSERT_EQ(Call("ResetKeyStates"), 0);
    EXPECT_FALSE(Down("a"));
    EXPECT_FALSE(Down("any", 1));
    // Names that are no keys.
    for (const char *bad : {"nokey", " ", "", "\xC3\xA9"}) EXPECT_EQ(KeyDown(bad), ERR_WRONGUSAGE) << bad;
    EXPECT_EQ(Call("IsKeyDown", [&] { lua_newtable(L); }), ERR_STREXPECTED);
    EXPECT_EQ(Call("WaitKeyDown", [&] { lua_pushstring(L, "nokey"); }), ERR_WRONGUSAGE);
}

TEST_F(Input, RawKeyEventsCarryModifiers) {
    ASSERT_EQ(Install({"onrawkeydown", "onkeyup"}), 0);
    d->os.qualifiers = 0x80410000u;
    PostEvent(d, 29, 1, 0, 306, nullptr);
    EXPECT_EQ(CheckAction(), "OnRawKeyDown");
    EXPECT_EQ(Last("key"), "LSHIFT");
    EXPECT_EQ(Last("modifiers"), "17");
    // A code that is no Unicode scalar value gives an empty, valid text.
    PostEvent(d, 3, 0, 0, 0xDFFF, nullptr);
    EXPECT_EQ(CheckAction(), "OnKeyUp");
    EXPECT_EQ(Last("key"), "");
}

TEST_F(Input, PlatformWithoutPortsOrKeyboard) {
    EXPECT_EQ(Call("ShowKeyboard"), ERR_UNSUPPORTEDFEAT);
    EXPECT_EQ(Call("HideKeyboard"), ERR_UNSUPPORTEDFEAT);
    EXPECT_EQ(Call("CreatePort", [&] { lua_pushstring(L, "myport"); }), ERR_CREATEPORT);
    EXPECT_EQ(Call("CreatePort", [&] { lua_pushstring(L, std::string(128, 'p').c_str()); }), ERR_WRONGUSAGE);
    EXPECT_EQ(Call("SendMessage",
                   [&] {
                       lua_pushstring(L, "other");
                       lua_pushstring(L, "QUIT");
                       lua_pushnumber(L, 3);
                   }),
              ERR_FINDPORT);
    EXPECT_EQ(Detail(), "other");
    for (const char *bad : {"", "two words"})
        EXPECT_EQ(Call("SendMessage",
                       [&] {
                           lua_pushstring(L, "other");
                           lua_pushstring(L, bad);
                       }),
                  ERR_WRONGUSAGE)
            << bad;
}

class Joysticks : public Events {
protected:
    std::string dir;
    int writer = -1;
    void SetUp() override {
        Events::SetUp();
        char tmpl[] = "/tmp/cxjoyXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        OsSetJoystickPatterns((dir + "/js%d").c_str(), (dir + "/none%d").c_str());
    }
    void TearDown() override {
        if (writer >= 0) close(writer);
        OsSetJoystickPatterns(nullptr, nullptr);
        unlink((dir + "/js0").c_str());
        rmdir(dir.c_str());
        Events::TearDown();
    }
    void Send(uint8_t type, uint8_t number, int16_t value) {
        js_event e{0, value, type, number};
        ASSERT_EQ(write(writer, &e, sizeof e), ssize_t(sizeof e));
    }
    double Number(const char *command, std::initializer_list<double> args, int *err) {
        *err = Cmd(command, args);
        return *err ? -1 : lua_tonumber(L, 1);
    }
};

TEST_F(Joysticks, NoJoystickAtThePort) {
    int err = 0;
    EXPECT_EQ(Number("CountJoysticks", {}, &err), 0);
    EXPECT_EQ(Number("JoyDir", {1}, &err), -1);
    EXPECT_EQ(err, ERR_NOJOYATPORT);
    Number("JoyFire", {1}, &err);
    EXPECT_EQ(err, ERR_NOJOYATPORT);
    Number("JoyDir", {-3}, &err);
    EXPECT_EQ(err, ERR_NOJOYATPORT);
}

// A FIFO stands in for the device: it delivers joystick event records.
TEST_F(Joysticks, DirectionsAndButtonsFromTheDevice) {
    const std::string dev = dir + "/js0";
    ASSERT_EQ(mkfifo(dev.c_str(), 0600), 0);
    int err = 0;
    EXPECT_EQ(Number("CountJoysticks", {}, &err), 1);
    writer = open(dev.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    EXPECT_EQ(Number("JoyDir", {1}, &err), 8) << "centred";
    struct Case {
        int16_t x, y;
        double dir;
    } cases[] = {{0, -32767, 0}, {32767, -32767, 1}, {32767, 0, 2}, {32767, 32767, 3}, {0, 32767, 4},
                 {-32767, 32767, 5}, {-32767, 0, 6}, {-32767, -32767, 7}, {100, -100, 8}};
    for (const Case &c : cases) {
        Send(JS_EVENT_AXIS, 0, c.x);
        Send(JS_EVENT_AXIS, 1, c.y);
        EXPECT_EQ(Number("JoyDir", {1}, &err), c.dir) << c.x << "," << c.y;
    }
    Send(JS_EVENT_BUTTON | JS_EVENT_INIT, 0, 1);
    Send(JS_EVENT_BUTTON, 2, 1);
    EXPECT_EQ(Number("JoyFire", {1}, &err), 1);
    EXPECT_EQ(Number("JoyFire", {1, 2}, &err), 0);
    EXPECT_EQ(Number("JoyFire", {1, 3}, &err), 1);
    EXPECT_EQ(Number("JoyFire", {1, 0}, &err), 5) << "button 0: the whole mask";
    Number("JoyFire", {1, 33}, &err);
    EXPECT_EQ(err, ERR_WRONGUSAGE);
    Number("JoyDir", {2}, &err);
    EXPECT_EQ(err, ERR_NOJOYATPORT);
}

}  // namespace
