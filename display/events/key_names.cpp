#include "display/events/key_names.h"

#include <cstring>
#include <strings.h>

// The order matters: lookups by code walk it from the top.
extern "C" const cxKeyName kKeyNames[CX_KEYNAME_COUNT] = {
    {"TAB", 272},      {"RETURN", 274},   {"ENTER", 273},    {"SPACE", 276},    {"ESC", 275},
    {"UP", 256},       {"DOWN", 257},     {"RIGHT", 258},    {"LEFT", 259},     {"HELP", 260},
    {"BACKSPACE", 271}, {"DEL", 277},     {"F1", 261},       {"F2", 262},       {"F3", 263},
    {"F4", 264},       {"F5", 265},       {"F6", 266},       {"F7", 267},       {"F8", 268},
    {"F9", 269},       {"F10", 270},      {"F11", 278},      {"F12", 279},      {"F13", 287},
    {"F14", 288},      {"F15", 289},      {"F16", 290},      {"INSERT", 280},   {"HOME", 281},
    {"END", 282},      {"PAGEUP", 283},   {"PAGEDOWN", 284}, {"PRINT", 285},    {"PAUSE", 286},
    {"NP0", 291},      {"NP1", 292},      {"NP2", 293},      {"NP3", 294},      {"NP4", 295},
    {"NP5", 296},      {"NP6", 297},      {"NP7", 298},      {"NP8", 299},      {"NP9", 300},
    {"NPMUL", 301},    {"NPADD", 302},    {"NPSUB", 303},    {"NPDEC", 304},    {"NPDIV", 305},
    {"LSHIFT", 306},   {"RSHIFT", 307},   {"LALT", 308},     {"RALT", 309},     {"LCOMMAND", 310},
    {"RCOMMAND", 311}, {"LCONTROL", 312}, {"RCONTROL", 313},
};

extern "C" uint32_t LookupKeyCode(const char *name) {
    if (!name || !*name) return 0;
    if (!name[1]) {
        const unsigned char c = static_cast<unsigned char>(name[0]);
        return c > 32 && c < 127 ? c : 0;
    }
    for (const cxKeyName &k : kKeyNames)
        if (!strcasecmp(k.name, name)) return k.code;
    return 0;
}

extern "C" const char *LookupKeyName(uint32_t code, int first, int end) {
    if (first < 0) first = 0;
    if (end > CX_KEYNAME_COUNT) end = CX_KEYNAME_COUNT;
    for (int i = first; i < end; i++)
        if (kKeyNames[i].code == code) return kKeyNames[i].name;
    return nullptr;
}

extern "C" uint32_t ModifierQualifierMask(uint32_t code) {
    if (code < CX_KEY_LSHIFT || code > CX_KEY_RCONTROL) return 0;
    // LSHIFT, RSHIFT, LALT, RALT, LCOMMAND, RCOMMAND, LCONTROL, RCONTROL
    return 0x80000000u | (0x00010000u << (code - CX_KEY_LSHIFT));
}

extern "C" uint32_t ModifiersOfQualifiers(uint32_t q) {
    // Qualifier bits run shift, alt, command, control; the sum runs
    // shift, alt, control, command.
    static const struct {
        uint32_t bit, value;
    } map[] = {{0x00010000u, 1},  {0x00020000u, 2},  {0x00040000u, 4},  {0x00080000u, 8},
               {0x00400000u, 16}, {0x00800000u, 32}, {0x00100000u, 64}, {0x00200000u, 128}};
    uint32_t sum = 0;
    for (const auto &m : map)
        if (q & m.bit) sum += m.value;
    return sum;
}
