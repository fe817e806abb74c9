#include "window/x11/x11_input.h"

#include <X11/keysym.h>
#include <cstdlib>
#include <cstring>
#include <string>

#include "window/x11/x11_window.h"

extern "C" int OsTranslateKey(KeySym sym, KeySym unshifted, int *key, int *raw) {
    int k = 0, r = -1;
    switch (sym) {
    case XK_BackSpace: k = CX_KEY_BACKSPACE; break;
    case XK_Tab: case XK_ISO_Left_Tab: k = CX_KEY_TAB; break;
    case XK_Return: k = CX_KEY_RETURN; break;
    case XK_KP_Enter: k = CX_KEY_ENTER; break;
    case XK_Escape: k = CX_KEY_ESC; break;
    case XK_Delete: case XK_KP_Delete: k = CX_KEY_DEL; break;
    case XK_Up: case XK_KP_Up: k = CX_KEY_UP; break;
    case XK_Down: case XK_KP_Down: k = CX_KEY_DOWN; break;
    case XK_Right: case XK_KP_Right: k = CX_KEY_RIGHT; break;
    case XK_Left: case XK_KP_Left: k = CX_KEY_LEFT; break;
    case XK_Help: k = CX_KEY_HELP; break;
    case XK_Insert: case XK_KP_Insert: k = CX_KEY_INSERT; break;
    case XK_Page_Up: case XK_KP_Page_Up: k = CX_KEY_PAGEUP; break;
    case XK_Page_Down: case XK_KP_Page_Down: k = CX_KEY_PAGEDOWN; break;
    case XK_Print: k = CX_KEY_PRINT; break;
    case XK_Pause: k = CX_KEY_PAUSE; break;
    case XK_Home: case XK_KP_Home: k = CX_KEY_HOME; break;
    case XK_End: case XK_KP_End: k = CX_KEY_END; break;
    case XK_F11: k = CX_KEY_F11; break;
    case XK_F12: k = CX_KEY_F12; break;
    case XK_space: case XK_KP_Space: k = CX_KEY_SPACE; break;
    case XK_KP_Multiply: k = '*'; r = CX_KEY_NPMUL; break;
    case XK_KP_Add: k = '+'; r = CX_KEY_NPADD; break;
    case XK_KP_Separator: k = ','; r = CX_KEY_NPDEC; break;
    case XK_KP_Decimal: k = '.'; r = CX_KEY_NPDEC; break;
    case XK_KP_Subtract: k = '-'; r = CX_KEY_NPSUB; break;
    case XK_KP_Divide: k = '/'; r = CX_KEY_NPDIV; break;
    default:
        if (sym >= XK_F1 && sym <= XK_F10) {
            k = CX_KEY_F1 + int(sym - XK_F1);
        } else if (sym >= XK_F13 && sym <= XK_F16) {
            k = CX_KEY_F13 + int(sym - XK_F13);
        } else if (sym >= XK_KP_0 && sym <= XK_KP_9) {
            k = '0' + int(sym - XK_KP_0);
            r = CX_KEY_NP0 + int(sym - XK_KP_0);
        } else {
            // Printable keys: the character as typed is the key value; the
            // raw key is the key's own (unshifted) symbol, letters in upper
            // case.
            if (sym > 0x20 && sym <= 0xff) k = int(sym);
            KeySym u = unshifted;
            if (u >= 'a' && u <= 'z') u -= 'a' - 'A';
            r = (u > 0x20 && u <= 0xff) ? int(u) : 0;
            if (!k) k = r;
        }
        break;
    }
    if (r < 0) r = k;
    *key = k;
    *raw = r;
    return k || r;
}

extern "C" int OsModifierOfKeySym(KeySym sym, int *raw) {
    switch (sym) {
    case XK_Shift_L: *raw = CX_KEY_LSHIFT; return CX_MOD_LSHIFT;
    case XK_Shift_R: *raw = CX_KEY_RSHIFT; return CX_MOD_RSHIFT;
    case XK_Control_L: *raw = CX_KEY_LCONTROL; return CX_MOD_LCONTROL;
    case XK_Control_R: *raw = CX_KEY_RCONTROL; return CX_MOD_RCONTROL;
    case XK_Alt_L: case XK_Meta_L: *raw = CX_KEY_LALT; return CX_MOD_LALT;
    case XK_Alt_R: case XK_Meta_R: case XK_ISO_Level3_Shift: *raw = CX_KEY_RALT; return CX_MOD_RALT;
    case XK_Super_L: *raw = CX_KEY_LCOMMAND; return CX_MOD_LSUPER;
    case XK_Super_R: *raw = CX_KEY_RCOMMAND; return CX_MOD_RSUPER;
    default: return -1;
    }
}

extern "C" uint32_t OsQualifiersOf(const uint8_t *m) {
    uint32_t q = 0x80000000u;
    if (m[CX_MOD_LSHIFT]) q |= 0x00010000;
    if (m[CX_MOD_RSHIFT]) q |= 0x00020000;
    if (m[CX_MOD_LALT]) q |= 0x00040000;
    if (m[CX_MOD_RALT]) q |= 0x00080000;
    if (m[CX_MOD_LSUPER]) q |= 0x00100000;
    if (m[CX_MOD_RSUPER]) q |= 0x00200000;
    if (m[CX_MOD_LCONTROL]) q |= 0x00400000;
    if (m[CX_MOD_RCONTROL]) q |= 0x00800000;
    return q;
}

namespace {
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// UTF-8 to ISO-8859-1; characters beyond Latin-1 and broken sequences
// become '?'. An overlong sequence is broken too: decoded, "\xC0\x80"
// would put a NUL into the name.
std::string ToLatin1(const std::string &s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += char(c);
            ++i;
            continue;
        }
        int len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        uint32_t cp = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        bool ok = len > 0 && i + size_t(len) <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + size_t(k)]);
            if ((cc & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static const uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (!ok || cp < kLeast[len]) {
            out += '?';
            ++i;
            continue;
        }
        out += cp <= 0xFF ? char(cp) : '?';
        i += size_t(len);
    }
    return out;
}
}  // namespace

extern "C" char *OsDecodeUriList(const char *text, size_t length, int utf8, size_t *size) {
    std::string list;
    size_t count = 0;
    size_t pos = 0;
    while (pos < length) {
        size_t end = pos;
        while (end < length && text[end] != '\n') ++end;
        std::string line(text + pos, end - pos);
        pos = end + 1;
        const size_t cr = line.find('\r');
        if (cr != std::string::npos) line.resize(cr);
        if (line.empty() || line[0] == '#') continue;
        if (line.compare(0, 7, "file://") == 0) line.erase(0, 7);
        std::string name;
        for (size_t i = 0; i < line.size(); ++i) {
            // A NUL in the data ends the name as an escaped one does: kept,
            // it would split the name, or end the list, where it lies.
            if (line[i] == '\0') break;
            if (line[i] == '%' && i + 2 < line.size() && HexValue(line[i + 1]) >= 0 && HexValue(line[i + 2]) >= 0) {
                const char c = char(HexValue(line[i + 1]) * 16 + HexValue(line[i + 2]));
                i += 2;
                if (c == '\0') break;  // a NUL would end the name anyway
                name += c;
            } else {
                name += line[i];
            }
        }
        if (!utf8) name = ToLatin1(name);
        if (name.empty()) continue;
        list += name;
        list += '\0';
        ++count;
    }
    if (count == 0) return nullptr;
    list += '\0';
    auto *out = static_cast<char *>(malloc(list.size()));
    if (!out) return nullptr;
    memcpy(out, list.data(), list.size());
    if (size) *size = list.size();
    return out;
}

extern "C" int OsClassifyEdge(int x, int y, int width, int height) {
    constexpr int band = 10;
    int e = 0;
    if (x < band) e |= CX_EDGE_LEFT;
    else if (x >= width - band) e |= CX_EDGE_RIGHT;
    if (y < band) e |= CX_EDGE_TOP;
    else if (y >= height - band) e |= CX_EDGE_BOTTOM;
    return e ? e : (CX_EDGE_RIGHT | CX_EDGE_BOTTOM);
}

extern "C" void OsSizingRect(const int start[4], int edges, int dx, int dy, int out[4]) {
    int x1 = start[0], y1 = start[1], x2 = start[0] + start[2], y2 = start[1] + start[3];
    if (edges & CX_EDGE_LEFT) x1 += dx;
    if (edges & CX_EDGE_RIGHT) x2 += dx;
    if (edges & CX_EDGE_TOP) y1 += dy;
    if (edges & CX_EDGE_BOTTOM) y2 += dy;
    // The grabbed edge may not pass the fixed one.
    if (x2 - x1 < 1) {
        if (edges & CX_EDGE_LEFT) x1 = x2 - 1;
        else x2 = x1 + 1;
    }
    if (y2 - y1 < 1) {
        if (edges & CX_EDGE_TOP) y1 = y2 - 1;
        else y2 = y1 + 1;
    }
    out[0] = x1;
    out[1] = y1;
    out[2] = x2 - x1;
    out[3] = y2 - y1;
}
