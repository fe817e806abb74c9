// The serial library through its script commands, on a pseudo-terminal
// pair: the library opens one end, the test reads and writes the other and
// watches the line settings with stty.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <string>

#include "io/serial/serial_ports.h"
#include "streams/applet_record.h"
#include "tests/engine/runtime/vm_fixture.h"
#include "tests/io/serial/pty_pair.h"

namespace {

using serialtest::HasSttyWord;
using serialtest::SttyAll;

class Serial : public cxtest::VmTest {
protected:
    serialtest::PtyPair pair;
    int far = -1;

    void SetUp() override {
        VmTest::SetUp();
        ASSERT_EQ(OpenScriptLibraries(L), 0);
        ASSERT_EQ(OpenSerialLibrary(L), 0);
        ASSERT_TRUE(pair.ok()) << "socat did not make a pseudo-terminal pair";
        far = open(pair.far().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(far, 0);
    }
    void TearDown() override {
        FreeSerialPorts(L);
        if (far >= 0) close(far);
        VmTest::TearDown();
    }
    // OpenSerialPort(id, device, {options}); id < 0 passes Nil.
    int Open(int id, const std::string &device, std::initializer_list<std::pair<const char *, int>> options = {}) {
        return Call("OpenSerialPort", [&] {
            if (id < 0) lua_pushnil(L);
            else lua_pushnumber(L, id);
            lua_pushstring(L, device.c_str());
            if (options.size()) {
                lua_newtable(L);
                for (auto &[k, v] : options) {
                    lua_pushstring(L, k);
                    lua_pushnumber(L, v);
                    lua_settable(L, -3);
                }
            }
        });
    }
    int Cmd(const char *name, std::initializer_list<double> args) {
        return Call(name, [&] {
            for (double a : args) lua_pushnumber(L, a);
        });
    }
    int Write(int id, const std::string &data, int timeout = -1) {
        return Call("WriteSerialData", [&] {
            lua_pushnumber(L, id);
            lua_pushlstring(L, data.data(), data.size());
            if (timeout >= 0) lua_pushnumber(L, timeout);
        });
    }
    // Everything that reaches the far end within waitMs.
    std::string FarRead(size_t want, int waitMs = 2000) {
        std::string got;
        char buf[256];
        while (got.size() < want) {
            pollfd p{far, POLLIN, 0};
            if (poll(&p, 1, waitMs) <= 0) break;
            ssize_t n = read(far, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }
    void FarWrite(const std::string &data) { ASSERT_EQ(write(far, data.data(), data.size()), (ssize_t)data.size()); }
    // Polls the port until count bytes wait (socat relays in its own time).
    bool WaitQueued(int id, double count) {
        for (int i = 0; i < 200; i++) {
            if (Cmd("PollSerialQueue", {double(id)}) == 0 && Num(1) >= count) return true;
            usleep(10000);
        }
        return false;
    }
};

TEST_F(Serial, SettingsReachTheDeviceAndAreRestoredAtClose) {
    std::string before = SttyAll(pair.near());
    ASSERT_FALSE(before.empty());
    ASSERT_EQ(before.find("speed 19200 baud"), std::string::npos) << before;
    ASSERT_EQ(Open(1, pair.near(), {{"baudrate", 4}, {"stopbits", 1}, {"flowcontrol", 1}}), 0);
    std::string open = SttyAll(pair.near());
    EXPECT_NE(open.find("speed 19200 baud"), std::string::npos) << open;
    for (const char *w : {"cs8", "-parenb", "cstopb", "crtscts", "-ixon", "-icanon", "-echo"})
        EXPECT_TRUE(HasSttyWord(open, w)) << w << "\n" << open;
    struct {
        const char *set, *get;
        int code;
        const char *word;
    } changes[] = {
        {"SetBaudRate", "GetBaudRate", 7, "speed 115200 baud"}, {"SetBaudRate", "GetBaudRate", 0, "speed 300 baud"},
        {"SetBaudRate", "GetBaudRate", 8, "speed 460800 baud"}, {"SetStopBits", "GetStopBits", 0, "-cstopb"},
        {"SetFlowControl", "GetFlowControl", 2, "ixoff"},       {"SetFlowControl", "GetFlowControl", 2, "-crtscts"},
        {"SetFlowControl", "GetFlowControl", 0, "-ixon"},
    };
    for (const auto &c : changes) {
        ASSERT_EQ(Cmd(c.set, {1, double(c.code)}), 0) << c.set;
        ASSERT_EQ(Cmd(c.get, {1}), 0);
        EXPECT_EQ(Num(1), c.code) << c.get;
        std::string now = SttyAll(pair.near());
        if (!strncmp(c.word, "speed", 5))
            EXPECT_NE(now.find(c.word), std::string::npos) << now;
        else
            EXPECT_TRUE(HasSttyWord(now, c.word)) << c.word << "\n" << now;
    }
    // Newer kernels keep a pseudo-terminal at 8 bits without parity. Either
    // the device takes the change and shows it, or the command fails with
    // 1055 and neither the device nor the stored code moves.
    struct {
        const char *set, *get;
        int code, old;
        const char *word, *oldWord;
    } strict[] = {{"SetDataBits", "GetDataBits", 2, 3, "cs7", "cs8"},
                  {"SetParity", "GetParity", 1, 0, "parodd", "-parenb"}};
    for (const auto &c : strict) {
        int r = Cmd(c.set, {1, double(c.code)});
        ASSERT_TRUE(r == 0 || r == ERR_WRONGUSAGE) << c.set << " " << r;
        ASSERT_EQ(Cmd(c.get, {1}), 0);
        EXPECT_EQ(Num(1), r == 0 ? c.code : c.old) << c.get;
        EXPECT_TRUE(HasSttyWord(SttyAll(pair.near()), r == 0 ? c.word : c.oldWord)) << c.set;
        if (r == 0) { ASSERT_EQ(Cmd(c.set, {1, double(c.old)}), 0); }
    }
    ASSERT_EQ(Cmd("CloseSerialPort", {1}), 0);
    EXPECT_EQ(SttyAll(pair.near()), before);
}

TEST_F(Serial, DefaultsAreNineSixHundredEightNoneOne) {
    ASSERT_EQ(Call("OpenSerialPort", [&] {
                  lua_pushnil(L);
                  lua_pushstring(L, pair.near().c_str());
              }),
              0);
    ASSERT_EQ(lua_type(L, 1), LUA_TLIGHTUSERDATA);
    void *id = lua_touserdata(L, 1);
    const char *getters[] = {"GetBaudRate", "GetDataBits", "GetParity", "GetStopBits",
                             "GetFlowControl", "GetDTR", "GetRTS"};
    const double expected[] = {3, 3, 0, 0, 0, 0, 0};
    for (int i = 0; i < 7; i++) {
        ASSERT_EQ(Call(getters[i], [&] { lua_pushlightuserdata(L, id); }), 0);
        EXPECT_EQ(Num(1), expected[i]) << getters[i];
    }
    std::string open = SttyAll(pair.near());
    EXPECT_NE(open.find("speed 9600 baud"), std::string::npos) << open;
    EXPECT_TRUE(HasSttyWord(open, "cs8"));
    EXPECT_TRUE(HasSttyWord(open, "-parenb"));
    EXPECT_TRUE(HasSttyWord(open, "-cstopb"));
    ASSERT_EQ(Call("CloseSerialPort", [&] { lua_pushlightuserdata(L, id); }), 0);
    EXPECT_EQ(Call("GetBaudRate", [&] { lua_pushlightuserdata(L, id); }), ERR_FINDARRAY);
}

TEST_F(Serial, BytesTravelBothWays) {
    ASSERT_EQ(Open(2, pair.near()), 0);
    std::string binary("a\0b\r\n\xff\x11\x13z", 9); // NUL, line ends, XON/XOFF bytes pass raw
    ASSERT_EQ(Write(2, binary), 0);
    EXPECT_EQ(Num(1), 9);
    EXPECT_EQ(Num(2), 0);
    EXPECT_EQ(FarRead(9), binary);
    ASSERT_EQ(Write(2, "timed", 500), 0);
    EXPECT_EQ(Num(1), 5);
    EXPECT_EQ(Num(2), 0);
    EXPECT_EQ(FarRead(5), "timed");

    FarWrite(binary);
    ASSERT_TRUE(WaitQueued(2, 9));
    ASSERT_EQ(Cmd("ReadSerialData", {2, 4}), 0);
    EXPECT_EQ(Str(1), binary.substr(0, 4));
    EXPECT_EQ(Num(2), 4);
    EXPECT_EQ(Num(3), 0);
    ASSERT_EQ(Cmd("PollSerialQueue", {2}), 0);
    EXPECT_EQ(Num(1), 5);
    // a direct read takes what waits and never blocks for the rest
    ASSERT_EQ(Cmd("ReadSerialData", {2, 1000}), 0);
    EXPECT_EQ(Str(1), binary.substr(4));
    EXPECT_EQ(Num(2), 5);
    EXPECT_EQ(Num(3), 0);
    ASSERT_EQ(Cmd("ReadSerialData", {2, 10}), 0);
    EXPECT_EQ(Str(1), "");
    EXPECT_EQ(Num(2), 0);
    EXPECT_EQ(Num(3), 0);
}

TEST_F(Serial, TimedWriteStopsWhenTheLineBacksUp) {
    ASSERT_EQ(Open(6, pair.near()), 0);
    // nobody reads the far end: the queues fill and the wait runs out
    const std::string big(4 << 20, 'x');
    ASSERT_EQ(Write(6, big, 300), 0);
    EXPECT_GT(Num(1), 0);
    EXPECT_LT(Num(1), double(big.size()));
    EXPECT_EQ(Num(2), 1);
}

TEST_F(Serial, TimedReadReturnsWhatCameAndTheFlag) {
    ASSERT_EQ(Open(3, pair.near()), 0);
    FarWrite("abc");
    ASSERT_TRUE(WaitQueued(3, 3));
    ASSERT_EQ(Cmd("ReadSerialData", {3, 10, 150}), 0);
    EXPECT_EQ(Str(1), "abc");
    EXPECT_EQ(Num(2), 3);
    EXPECT_EQ(Num(3), 1);
    // enough bytes arriving within the wait: no flag
    FarWrite("0123456789");
    ASSERT_EQ(Cmd("ReadSerialData", {3, 10, 3000}), 0);
    EXPECT_EQ(Str(1), "0123456789");
    EXPECT_EQ(Num(3), 0);
    // nothing at all
    ASSERT_EQ(Cmd("ReadSerialData", {3, 1, 50}), 0);
    EXPECT_EQ(Num(2), 0);
    EXPECT_EQ(Num(3), 1);
}

TEST_F(Serial, FlushAndClearDropWaitingInput) {
    ASSERT_EQ(Open(4, pair.near()), 0);
    FarWrite("junk");
    ASSERT_TRUE(WaitQueued(4, 4));
    ASSERT_EQ(Cmd("ClearSerialQueue", {4}), 0);
    ASSERT_EQ(Cmd("PollSerialQueue", {4}), 0);
    EXPECT_EQ(Num(1), 0);
    FarWrite("more");
    ASSERT_TRUE(WaitQueued(4, 4));
    ASSERT_EQ(Cmd("FlushSerialPort", {4}), 0);
    ASSERT_EQ(Cmd("PollSerialQueue", {4}), 0);
    EXPECT_EQ(Num(1), 0);
    FarWrite("fresh");
    ASSERT_TRUE(WaitQueued(4, 5));
    ASSERT_EQ(Cmd("ReadSerialData", {4, 5}), 0);
    EXPECT_EQ(Str(1), "fresh");
}

TEST_F(Serial, ReopeningAnIdClosesTheOldPortFirst) {
    std::string before = SttyAll(pair.near());
    ASSERT_EQ(Open(5, pair.near(), {{"baudrate", 1}}), 0);
    ASSERT_EQ(Open(5, pair.near(), {{"baudrate", 6}}), 0);
    std::string open = SttyAll(pair.near());
    EXPECT_NE(open.find("speed 57600 baud"), std::string::npos) << open;
    ASSERT_EQ(Cmd("CloseSerialPort", {5}), 0);
    // the second open saved what the first one restored
    EXPECT_EQ(SttyAll(pair.near()), before);
    EXPECT_EQ(Cmd("CloseSerialPort", {5}), ERR_FINDSERIAL);
}

TEST_F(Serial, ErrorsCarryTheSystemsCodes) {
    char text[512];
    // a device that is not there: 1621 naming it
    EXPECT_EQ(Open(1, "/dev/cx-no-such-tty"), ERR_OPENSERIAL);
    EXPECT_STREQ(GetErrorText(ERR_OPENSERIAL, text, sizeof text), "Error opening serial port /dev/cx-no-such-tty!");
    // a file that is no terminal
    EXPECT_EQ(Open(1, "/dev/null"), ERR_OPENSERIAL);
    EXPECT_EQ(Detail(), "/dev/null");
    // a long name is never cut down to another device's name
    std::string longName = pair.near() + std::string(300, '/');
    EXPECT_EQ(Open(1, longName), ERR_OPENSERIAL);
    EXPECT_EQ(GetSerialList()->first, nullptr);

    EXPECT_EQ(Cmd("GetBaudRate", {9}), ERR_FINDSERIAL);
    EXPECT_STREQ(GetErrorText(ERR_FINDSERIAL, text, sizeof text), "Could not find serial connection 9!");
    int marker = 0;
    EXPECT_EQ(Call("ReadSerialData", [&] {
                  lua_pushlightuserdata(L, &marker);
                  lua_pushnumber(L, 1);
              }),
              ERR_FINDARRAY);

    ASSERT_EQ(Open(1, pair.near()), 0);
    EXPECT_EQ(Cmd("ReadSerialData", {1, 0}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("ReadSerialData", {1, -3}), ERR_WRONGUSAGE);
    EXPECT_EQ(Write(1, ""), ERR_WRONGUSAGE);
    struct {
        const char *name;
        double code;
    } bad[] = {{"SetBaudRate", 9}, {"SetBaudRate", -1}, {"SetDataBits", 4}, {"SetParity", 3},
               {"SetStopBits", 2}, {"SetFlowControl", 3}, {"SetDTR", 2}, {"SetRTS", -1}};
    for (const auto &b : bad) EXPECT_EQ(Cmd(b.name, {1, b.code}), ERR_WRONGUSAGE) << b.name << " " << b.code;
    ASSERT_EQ(Cmd("GetBaudRate", {1}), 0);
    EXPECT_EQ(Num(1), 3); // refused codes leave the setting alone
    // a pseudo-terminal carries no modem lines: setting one fails
    EXPECT_EQ(Cmd("SetDTR", {1, 1}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("GetDTR", {1}), 0);
    EXPECT_EQ(Num(1), 0);
    // an option code out of range is refused before anything opens
    EXPECT_EQ(Open(2, pair.near(), {{"parity", 7}}), ERR_WRONGUSAGE);
    EXPECT_EQ(Call("OpenSerialPort", [&] { lua_pushnumber(L, 1); }), ERR_MISSINGPARAMTR);
    EXPECT_EQ(Cmd("PollSerialQueue", {1, 2}), ERR_TOOMANYARGS);
}

TEST_F(Serial, FarEndGoneGivesSerialIoError) {
    ASSERT_EQ(Open(1, pair.near()), 0);
    close(far);
    far = -1;
    pair.stop(); // the near end hangs up
    int r = Cmd("ReadSerialData", {1, 4, 500});
    EXPECT_EQ(r, ERR_SERIALIO);
    EXPECT_EQ(Write(1, "x"), ERR_SERIALIO);
    ASSERT_EQ(Cmd("CloseSerialPort", {1}), 0);
}

TEST_F(Serial, OldAppletsCannotOpenPorts) {
    cxApplet *applet = NewApplet();
    ASSERT_NE(applet, nullptr);
    applet->versionMajor = 7;
    applet->versionMinor = 9;
    SetRunningApplet(applet);
    EXPECT_EQ(Open(1, pair.near()), ERR_OLDAPPLET);
    EXPECT_EQ(Detail(), "8.0");
    applet->versionMajor = 8;
    applet->versionMinor = 0;
    EXPECT_EQ(Open(1, pair.near()), 0);
    SetRunningApplet(nullptr);
    FreeApplet(applet);
}

TEST_F(Serial, CleanupClosesEveryPortAndRestoresIt) {
    std::string before = SttyAll(pair.near());
    ASSERT_EQ(Open(1, pair.near(), {{"baudrate", 8}}), 0);
    ASSERT_EQ(Open(-1, pair.near(), {{"baudrate", 5}}), 0);
    ASSERT_EQ(Open(2, pair.far(), {{"baudrate", 2}}), 0);
    FreeSerialPorts(L);
    EXPECT_EQ(GetSerialList()->first, nullptr);
    EXPECT_EQ(SttyAll(pair.near()), before);
}

} // namespace
