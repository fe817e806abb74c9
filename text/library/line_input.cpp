// InKeyStr: a line typed on the keyboard, echoed at the text cursor of the
// current display. The picture under the line is kept so that each change
// redraws the line over what was there: the echo never piles up.
#include "text/library/line_input.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "display/backend.h"
#include "display/display_record.h"
#include "display/draw/draw_output.h"
#include "display/events/event_pump.h"
#include "engine/charset/charset.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/runtime.h"
#include "graphics/blit/blit.h"
#include "window/x11/x11_input.h"
#include "text/library/print_commands.h"
#include "text/library/render_text.h"
#include "text/library/text_state.h"

namespace {

enum Filter { kAll = 0, kAlphaNumerical = 1, kAlphabetical = 2, kNumerical = 3, kHexNumerical = 4 };
constexpr size_t kMaxChars = 1024;
constexpr uint32_t kEventKey = 3, kEventVanillaKey = 28;
constexpr uint32_t kControl = 0x00400000u | 0x00800000u;

bool IsLetter(uint32_t c) {
    if (c < 128) return (c | 32) >= 'a' && (c | 32) <= 'z';
    if (c < 256) return c >= 0xC0 && c != 0xD7 && c != 0xF7;
    return true; // beyond Latin-1: taken as letters
}
bool IsDigit(uint32_t c) { return c >= '0' && c <= '9'; }

bool Accepts(int filter, uint32_t c, bool utf8) {
    if (!utf8 && c > 255) return false;
    switch (filter) {
    case kAlphaNumerical: return c == ' ' || IsLetter(c) || IsDigit(c);
    case kAlphabetical: return c == ' ' || IsLetter(c);
    case kNumerical: return IsDigit(c);
    case kHexNumerical: return IsDigit(c) || ((c | 32) >= 'a' && (c | 32) <= 'f');
    default: return c == ' ' || (c > 32 && c != 127 && !(c >= 0x80 && c < 0xA0));
    }
}

void Append(std::string &out, uint32_t c, bool utf8) {
    if (!utf8) {
        out.push_back(char(c));
        return;
    }
    if (c < 0x80) {
        out.push_back(char(c));
    } else if (c < 0x800) {
        out.push_back(char(0xC0 | (c >> 6)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(char(0xE0 | (c >> 12)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (c >> 18)));
        out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

int RedirectedError(uint32_t kind) {
    switch (kind) {
    case 1: return ERR_SELECTBG;
    case 4: return ERR_SELECTANIM;
    case 28: return ERR_SELECTMASK;
    case 30: return ERR_SELECTALPHACHANNEL;
    default: return ERR_SELECTBRUSH;
    }
}

// The line being edited and the picture under it.
class LineEditor {
public:
    LineEditor(lua_State *L, cxDisplay *d, bool hide) : L_(L), d_(d), hide_(hide) {}
    ~LineEditor() { FreeBitmap(saved_); }

    int Start() {
        const cxDrawOutputHooks *h = GetDrawOutputHooks();
        if (!h->getOutput) return ERR_FINDDISPLAY;
        if (int err = h->getOutput(L_, &out_)) return err;
        start_ = d_->textCursor;
        top_ = std::clamp(start_.cursorY, 0, out_.target.height);
        const int32_t rows = out_.target.height - top_;
        if (out_.target.colour && rows > 0) {
            saved_ = AllocBitmap(out_.target.width, rows, 0, 0);
            if (!saved_) return ERR_BITMAP;
            BltBitmap(out_.target.colour, 0, top_, saved_, 0, 0, out_.target.width, rows);
        }
        return Redraw(true);
    }

    // The text so far, as the script receives it.
    std::string Text() const {
        std::string s;
        for (uint32_t c : chars_) Append(s, c, utf8_);
        return s;
    }

    int Insert(uint32_t c) {
        if (chars_.size() >= kMaxChars) return 0;
        chars_.insert(chars_.begin() + ptrdiff_t(pos_), c);
        ++pos_;
        return Redraw(true);
    }
    int Key(uint32_t key) {
        switch (key) {
        case CX_KEY_LEFT:
            if (pos_) --pos_;
            break;
        case CX_KEY_RIGHT:
            if (pos_ < chars_.size()) ++pos_;
            break;
        case CX_KEY_BACKSPACE:
            if (!pos_) return 0;
            chars_.erase(chars_.begin() + ptrdiff_t(--pos_));
            break;
        case CX_KEY_DEL:
            if (pos_ >= chars_.size()) return 0;
            chars_.erase(chars_.begin() + ptrdiff_t(pos_));
            break;
        default: return 0;
        }
        return Redraw(true);
    }
    size_t Size() const { return chars_.size(); }

    // The line printed once, without the input cursor; the cursor ends at
    // the left margin one line lower.
    int Finish() {
        if (int err = Redraw(false)) return err;
        cxOsFont *font = GetCurrentFont();
        d_->textCursor.cursorX = d_->textCursor.leftMargin;
        d_->textCursor.cursorY = end_.cursorY + (font ? font->height : 8);
        return 0;
    }

private:
    std::string Echo(size_t from, size_t to) const {
        std::string s;
        for (size_t i = from; i < to; ++i) Append(s, hide_ ? uint32_t('*') : chars_[i], utf8_);
        return s;
    }

    int Redraw(bool caret) {
        if (saved_) BltBitmap(saved_, 0, 0, out_.target.colour, 0, top_, saved_->width, saved_->height);
        d_->textCursor = start_;
        if (int err = PrintPart(Echo(0, pos_))) return err;
        const cxTextCursor at = d_->textCursor;
        if (int err = PrintPart(Echo(pos_, chars_.size()))) return err;
        end_ = d_->textCursor;
        cxOsFont *font = GetCurrentFont();
        const int32_t h = font ? font->height : 8;
        const int32_t w = std::max<int32_t>(1, int32_t(d_->scaleFactor > 0 ? d_->scaleFactor + 0.5 : 1));
        if (caret && out_.target.colour && at.cursorX >= 0 && at.cursorX < out_.target.width)
            FillRect(out_.target.colour, at.cursorX, at.cursorY, std::min(w, out_.target.width - at.cursorX),
                     std::max(0, std::min(h, out_.target.height - at.cursorY)), GetTextStyle()->colour & 0xFFFFFF);
        if (saved_) {
            const cxDrawOutputHooks *hooks = GetDrawOutputHooks();
            const cxDrawRect r{0, top_, saved_->width, saved_->height};
            if (hooks->drawn) hooks->drawn(L_, &out_, &r);
        }
        return 0;
    }
    int PrintPart(const std::string &s) { return s.empty() ? 0 : PrintText(L_, s.c_str(), 1, 0); }

    lua_State *L_;
    cxDisplay *d_;
    bool hide_, utf8_ = GetTextState()->textEncoding == 1;
    cxDrawOutput out_{};
    cxTextCursor start_{}, end_{};
    int32_t top_ = 0;
    cxBitmap *saved_ = nullptr;
    std::vector<uint32_t> chars_;
    size_t pos_ = 0;
};

} // namespace

// InKeyStr(filter[, maximum length[, hide[, reserved]]])
extern "C" int CmdInKeyStr(lua_State *L) {
    CheckArgCount(L, 1, 4, 0, 0);
    const int filter = luaL_checkint(L, 1);
    const int maxLength = lua_isnoneornil(L, 2) ? 0 : luaL_checkint(L, 2);
    const bool hide = !lua_isnoneornil(L, 3) && luaL_checkint(L, 3) != 0;
    if (!lua_isnoneornil(L, 4)) luaL_checkint(L, 4);
    cxDisplay *d = GetCurrentDisplay();
    if (!d) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    if (d->targetKind != CX_OBJECT_DISPLAY) return RedirectedError(d->targetKind);
    if (d->doubleBuffer1) return ERR_ENDDOUBLEBUFFER;
    LineEditor editor(L, d, hide);
    if (int err = editor.Start()) return err;
    const bool utf8 = GetTextState()->textEncoding == 1;
    bool done = false;
    while (!done) {
        // Events are taken one at a time from the head, up to the key that
        // ends the line: keys typed ahead stay for the next input.
        cxEventInfo ev;
        while (!done && FetchEvent(L, 0, &ev, 0)) {
            int err = 0;
            if (ev.display == d && ev.type == kEventVanillaKey) {
                const uint32_t c = ev.keyC;
                if (Accepts(filter, c, utf8) && !(maxLength > 0 && editor.Size() >= size_t(maxLength)))
                    err = editor.Insert(c);
            } else if (ev.display == d && ev.type == kEventKey && ev.a) {
                const uint32_t key = ev.keyC;
                if (key == CX_KEY_RETURN || key == CX_KEY_ENTER) {
                    done = true;
                } else if (key == CX_KEY_TAB) {
                    if (Accepts(filter, ' ', utf8) && !(maxLength > 0 && editor.Size() >= size_t(maxLength)))
                        err = editor.Insert(' ');
                } else {
                    err = editor.Key(key);
                }
            }
            DropEvents(L, 0, 1);
            if (err) return err;
        }
        if (done) break;
        if (int err = WaitForEvent(L, CX_PUMP_WAITING, 0, nullptr)) return err;
        int code = 0;
        if (ProcessEvents(L, CX_PUMP_WAITING, 0, &code)) return code;
    }
    if (int err = editor.Finish()) return err;
    const std::string text = editor.Text();
    lua_pushlstring(L, text.data(), text.size());
    return 1;
}
