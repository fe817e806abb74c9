#include "platform/os_joystick.h"

#include <fcntl.h>
#include <linux/joystick.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "errors/error_codes.h"

namespace {

struct Joystick {
    int fd = -1;
    int x = 0, y = 0; // axes 0 and 1
    unsigned buttons = 0;
};

std::vector<Joystick> g_sticks;
std::string g_patterns[2] = {"/dev/input/js%d", "/dev/js%d"};
constexpr int kMaxDevices = 8;
// Axis values within this distance of the centre count as centred.
constexpr int kDeadZone = 8192;

std::string DeviceName(const std::string &pattern, int i) {
    char name[256];
    snprintf(name, sizeof name, pattern.c_str(), i);
    return name;
}

// Applies every event the device has queued.
void Drain(Joystick &j) {
    js_event e;
    while (read(j.fd, &e, sizeof e) == ssize_t(sizeof e)) {
        const int type = e.type & ~JS_EVENT_INIT;
        if (type == JS_EVENT_AXIS) {
            if (e.number == 0) j.x = e.value;
            if (e.number == 1) j.y = e.value;
        } else if (type == JS_EVENT_BUTTON && e.number < 32) {
            if (e.value)
                j.buttons |= 1u << e.number;
            else
                j.buttons &= ~(1u << e.number);
        }
    }
}

int Direction(const Joystick &j) {
    const int h = j.x < -kDeadZone ? -1 : j.x > kDeadZone ? 1 : 0;
    const int v = j.y < -kDeadZone ? -1 : j.y > kDeadZone ? 1 : 0;
    static const int table[3][3] = {
        // h = -1, 0, 1
        {7, 0, 1}, // up
        {6, CX_JOY_NODIR, 2},
        {5, 4, 3}, // down
    };
    return table[v + 1][h + 1];
}

}  // namespace

extern "C" int OsOpenJoysticks(int *count) {
    if (g_sticks.empty()) {
        for (const std::string &pattern : g_patterns) {
            for (int i = 0; i < kMaxDevices; i++) {
                const int fd = open(DeviceName(pattern, i).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd < 0) continue;
                try {
                    g_sticks.push_back(Joystick{fd});
                } catch (...) {
                    close(fd);
                    if (count) *count = int(g_sticks.size());
                    return ERR_MEM;
                }
            }
            if (!g_sticks.empty()) break; // the second folder only when the first has none
        }
    }
    if (count) *count = int(g_sticks.size());
    return 0;
}

extern "C" int OsGetJoystickState(int port, int *dir, int *fire) {
    OsOpenJoysticks(nullptr);
    const int index = port > 0 ? port - 1 : 0;
    if (port < 0 || index >= int(g_sticks.size())) return ERR_NOJOYATPORT;
    Joystick &j = g_sticks[size_t(index)];
    Drain(j);
    if (dir) *dir = Direction(j);
    if (fire) *fire = int(j.buttons);
    return 0;
}

extern "C" void OsCloseJoysticks(void) {
    for (Joystick &j : g_sticks) close(j.fd);
    g_sticks.clear();
}

extern "C" void OsSetJoystickPatterns(const char *first, const char *second) {
    OsCloseJoysticks();
    g_patterns[0] = first ? first : "/dev/input/js%d";
    g_patterns[1] = second ? second : "/dev/js%d";
}
