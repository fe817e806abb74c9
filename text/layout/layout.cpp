#include "text/layout/layout.h"

#include <algorithm>
#include <cstring>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"
#include "text/layout/edge_draw.h"
#include "text/layout/style_tags.h"

int32_t BlankWidth(const cxTextStyle &style, int32_t encoding) {
    cxTextRunExtent e;
    if (MeasureTextRun(" ", 1, encoding, &e, &style)) return 1;
    return std::max(e.font.advance, 1);
}

namespace {

bool SameStyle(const cxTextStyle &a, const cxTextStyle &b) { return memcmp(&a, &b, sizeof a) == 0; }

// Splits the text into runs, wraps words and places tabs.
class Parser {
public:
    Parser(lua_State *L, const cxTextRecord &rec, int mode, bool tagsOff, cxTextLayout &out)
        : L_(L), rec_(rec), out_(out), tagsOff_(tagsOff), print_(mode == CX_RENDER_PRINT),
          justified_(rec.align == CX_ALIGN_JUSTIFIED), style_(rec.style) {
        ClampTextEffects(&style_);
        pendStyle_ = style_;
        cxOsFont *font = style_.font ? style_.font : GetTopazFont();
        lineH_ = font ? font->height : 8;
        out.lineHeight = lineH_;
        if (print_) {
            wrap_ = int64_t(rec.rightMargin) - rec.leftMargin + 1 > 0 ? rec.rightMargin - rec.leftMargin + 1 : 1;
            x_ = pendX_ = rec.cursorX - rec.leftMargin;
        } else {
            wrap_ = std::max(rec.rightMargin, 0);
        }
        reuseBreaks_ = rec.lineBreaks != nullptr;
        reuseTabs_ = rec.tabChoices != nullptr;
    }

    int Run(const char *text, size_t n) {
        out_.buffer.clear();
        out_.buffer.reserve(n + 2);
        if (!n) {
            text = " ";
            n = 1;
        }
        for (size_t i = 0; i < n; ++i) {
            const char c = text[i];
            int err = 0;
            switch (c) {
            case '\r': break;
            case '\n':
                if ((err = EndWord())) return err;
                if ((err = Flush())) return err;
                NewLine();
                break;
            case '\t':
                if (!print_) {
                    if ((err = Blank())) return err;
                    break;
                }
                if ((err = EndWord())) return err;
                if ((err = Flush())) return err;
                Tab();
                break;
            case ' ':
                if ((err = Blank())) return err;
                break;
            case '[':
            case ']': {
                const bool doubled = i + 1 < n && text[i + 1] == c;
                if (doubled) {
                    ++i;
                } else if (!tagsOff_) {
                    if (c == ']') return ERR_TEXTSYNTAX;
                    size_t used = 0;
                    if ((err = ParseStyleTag(L_, text + i, n - i, &style_, colours_, &used))) return err;
                    i += used - 1;
                    break;
                }
                if ((err = Char(c))) return err;
                break;
            }
            default:
                if ((err = Char(c))) return err;
            }
        }
        if (int err = EndWord()) return err;
        if (int err = Flush()) return err;
        out_.endX = x_;
        out_.endY = y_;
        // Run texts point into the buffer, which has not moved since.
        for (cxTextRun &r : out_.runs) r.text = out_.buffer.data() + reinterpret_cast<uintptr_t>(r.text);
        return 0;
    }

private:
    int Measure(size_t start, size_t end, const cxTextStyle &s, cxTextRunExtent *e) {
        return MeasureTextRun(out_.buffer.data() + start, end - start, rec_.encoding, e, &s);
    }

    // The pending text becomes a run.
    int Flush() {
        const size_t end = out_.buffer.size();
        if (end > pendStart_) {
            cxTextRun r{};
            r.text = reinterpret_cast<const char *>(uintptr_t(pendStart_)); // an offset until the end
            r.length = end - pendStart_;
            r.x = pendX_;
            r.y = y_;
            r.line = line_;
            r.startsWord = pendStartsWord_;
            r.style = pendStyle_;
            if (int err = Measure(pendStart_, end, pendStyle_, &r.extent)) return err;
            x_ = pendX_ + r.extent.font.advance;
            out_.runs.push_back(r);
        }
        pendStart_ = end;
        pendX_ = x_;
        pendStartsWord_ = false;
        pendHasWord_ = false;
        pendStyle_ = style_;
        return 0;
    }

    void NewLine() {
        x_ = pendX_ = 0;
        y_ += lineH_;
        ++line_;
        wordsOnLine_ = 0;
    }

    int Char(char c) {
        if (!inWord_) {
            // A word starts: the run before it ends unless it holds only
            // blanks of the same style, which the word joins.
            if (pendHasWord_ || !SameStyle(style_, pendStyle_)) {
                if (int err = Flush()) return err;
            }
            inWord_ = true;
            ++wordNo_;
            wordRun_ = out_.runs.size();
            wordBuf_ = out_.buffer.size();
            wordStartX_ = x_;
            if (wordBuf_ > pendStart_) {
                cxTextRunExtent e;
                if (int err = Measure(pendStart_, wordBuf_, pendStyle_, &e)) return err;
                wordStartX_ = pendX_ + e.font.advance;
            } else {
                pendStartsWord_ = true;
            }
            if (reuseBreaks_ && nextBreak_ < size_t(std::max(rec_.lineBreakCount, 0)) &&
                rec_.lineBreaks[nextBreak_] == wordNo_) {
                ++nextBreak_;
                if (int err = Flush()) return err;
                NewLine();
                wordStartX_ = 0;
                wordRun_ = out_.runs.size();
                pendStartsWord_ = true;
            }
        } else if (!SameStyle(style_, pendStyle_)) {
            if (int err = Flush()) return err;
        }
        pendStyle_ = style_;
        pendHasWord_ = true;
        out_.buffer.push_back(c);
        return 0;
    }

    // A blank, tab or line feed ends the word: wrap it when it makes the
    // line too wide, unless it is the first word of its line.
    int EndWord() {
        if (!inWord_) return 0;
        inWord_ = false;
        if (!reuseBreaks_ && wrap_ > 0 && wordsOnLine_ > 0) {
            cxTextRunExtent e;
            if (int err = Measure(pendStart_, out_.buffer.size(), pendStyle_, &e)) return err;
            if (int64_t(pendX_) + e.boxWidth > wrap_) {
                // Blanks before the word stay on this line as a run of their own.
                if (pendStart_ < wordBuf_ && wordRun_ == out_.runs.size()) {
                    cxTextRun r{};
                    r.text = reinterpret_cast<const char *>(uintptr_t(pendStart_));
                    r.length = wordBuf_ - pendStart_;
                    r.x = pendX_;
                    r.y = y_;
                    r.line = line_;
                    r.startsWord = pendStartsWord_;
                    r.style = pendStyle_;
                    if (int err = Measure(pendStart_, wordBuf_, pendStyle_, &r.extent)) return err;
                    out_.runs.push_back(r);
                    wordRun_ = out_.runs.size();
                    pendStart_ = wordBuf_;
                    pendX_ = wordStartX_;
                    pendStartsWord_ = true;
                }
                const int32_t dx = wordStartX_;
                for (size_t i = wordRun_; i < out_.runs.size(); ++i) {
                    out_.runs[i].x -= dx;
                    out_.runs[i].y += lineH_;
                    out_.runs[i].line += 1;
                }
                pendX_ -= dx;
                x_ -= dx;
                y_ += lineH_;
                ++line_;
                wordsOnLine_ = 0;
                out_.lineBreaks.push_back(wordNo_);
            }
        }
        ++wordsOnLine_;
        return 0;
    }

    int Blank() {
        if (int err = EndWord()) return err;
        if (justified_) {
            if (int err = Flush()) return err;
            if (blank_ < 0) blank_ = BlankWidth(style_, rec_.encoding);
            x_ += blank_;
            pendX_ = x_;
            return 0;
        }
        if (!SameStyle(style_, pendStyle_) && out_.buffer.size() > pendStart_) {
            if (int err = Flush()) return err;
        }
        pendStyle_ = style_;
        out_.buffer.push_back(' ');
        return 0;
    }

    // The next tab stop beyond the pen, or a line break.
    void Tab() {
        int32_t choice = -1;
        if (reuseTabs_ && tabIndex_ < size_t(std::max(rec_.tabChoiceCount, 0))) {
            choice = rec_.tabChoices[tabIndex_];
        } else {
            const int32_t count = std::clamp(rec_.tabCount, 0, CX_TEXT_TAB_STOPS);
            for (int32_t i = 0; i < count; ++i) {
                if (int64_t(rec_.tabStops[i]) > int64_t(x_) + rec_.leftMargin) {
                    const int64_t at = int64_t(rec_.tabStops[i]) - rec_.leftMargin;
                    if (!(wrap_ > 0 && at > wrap_)) choice = i;
                    break;
                }
            }
        }
        ++tabIndex_;
        out_.tabChoices.push_back(choice);
        if (choice >= 0 && choice < std::clamp(rec_.tabCount, 0, CX_TEXT_TAB_STOPS)) {
            x_ = pendX_ = rec_.tabStops[choice] - rec_.leftMargin;
        } else {
            NewLine();
        }
    }

    lua_State *L_;
    const cxTextRecord &rec_;
    cxTextLayout &out_;
    bool tagsOff_, print_, justified_;
    cxTextStyle style_, pendStyle_;
    std::vector<uint32_t> colours_;
    int32_t lineH_ = 8, wrap_ = 0, blank_ = -1;
    int32_t x_ = 0, y_ = 0, line_ = 0, pendX_ = 0;
    size_t pendStart_ = 0;
    bool pendStartsWord_ = true, pendHasWord_ = false, inWord_ = false, reuseBreaks_ = false, reuseTabs_ = false;
    int32_t wordNo_ = -1, wordsOnLine_ = 0, wordStartX_ = 0;
    size_t wordRun_ = 0, wordBuf_ = 0, nextBreak_ = 0, tabIndex_ = 0;
};

void Bounds(cxTextLayout &l) {
    bool any = false;
    for (const cxTextRun &r : l.runs) {
        const int32_t left = r.x + std::min(r.extent.font.minX, 0) - r.extent.left;
        const int32_t right = r.x + r.extent.boxWidth + r.extent.right;
        const int32_t top = r.y - r.extent.top, bottom = r.y + l.lineHeight + 1 + r.extent.bottom;
        l.left = any ? std::min(l.left, left) : left;
        l.right = any ? std::max(l.right, right) : right;
        l.top = any ? std::min(l.top, top) : top;
        l.bottom = any ? std::max(l.bottom, bottom) : bottom;
        any = true;
    }
    if (!any) l.left = l.top = 0, l.right = l.bottom = 1;
}

// Trailing blanks of a line's last run go when the text is aligned or the
// run underlined; runs left empty are dropped.
int TrimLines(cxTextLayout &l, const cxTextRecord &rec) {
    std::vector<cxTextRun> kept;
    kept.reserve(l.runs.size());
    for (size_t i = 0; i < l.runs.size(); ++i) {
        cxTextRun r = l.runs[i];
        const bool last = i + 1 == l.runs.size() || l.runs[i + 1].line != r.line;
        if (last && (rec.align != CX_ALIGN_LEFT || (r.style.flags & CX_TEXT_UNDERLINED))) {
            size_t n = r.length;
            while (n && r.text[n - 1] == ' ') --n;
            if (n != r.length) {
                if (!n) continue;
                r.length = n;
                if (int err = MeasureTextRun(r.text, n, rec.encoding, &r.extent, &r.style)) return err;
            }
        }
        kept.push_back(r);
    }
    l.runs.swap(kept);
    return 0;
}

void Align(cxTextLayout &l, const cxTextRecord &rec, int32_t wrap) {
    if (rec.align == CX_ALIGN_LEFT || l.runs.empty()) return;
    // Lines as ranges of runs.
    std::vector<std::pair<size_t, size_t>> lines;
    for (size_t i = 0; i < l.runs.size(); ++i) {
        if (lines.empty() || l.runs[lines.back().first].line != l.runs[i].line) lines.push_back({i, i + 1});
        else lines.back().second = i + 1;
    }
    auto rightEdge = [&](const std::pair<size_t, size_t> &ln) {
        const cxTextRun &r = l.runs[ln.second - 1];
        return r.x + r.extent.font.maxX + 1;
    };
    int32_t W = 0;
    for (auto &ln : lines) W = std::max(W, rightEdge(ln));
    Bounds(l);
    int32_t imageWidth = l.right - l.left;
    if (wrap > 0) imageWidth = std::min(imageWidth, wrap - l.left);
    if (wrap > 0 && imageWidth <= W) W = imageWidth - 1;
    const int32_t blank = rec.align == CX_ALIGN_JUSTIFIED ? BlankWidth(rec.style, rec.encoding) : 0;
    for (size_t k = 0; k < lines.size(); ++k) {
        const auto [first, end] = lines[k];
        const int32_t extra = W - rightEdge(lines[k]);
        if (rec.align == CX_ALIGN_RIGHT || rec.align == CX_ALIGN_CENTER) {
            const int32_t dx = rec.align == CX_ALIGN_RIGHT ? extra : extra / 2;
            for (size_t i = first; i < end; ++i) l.runs[i].x += dx;
            continue;
        }
        if (rec.align != CX_ALIGN_JUSTIFIED || extra <= 0) continue;
        int32_t words = 0;
        for (size_t i = first + 1; i < end; ++i) words += l.runs[i].startsWord ? 1 : 0;
        if (!words) continue;
        // A paragraph's last line is stretched only when the gaps stay
        // small.
        const int32_t y = l.runs[first].y;
        const bool followed = std::any_of(l.runs.begin() + end, l.runs.end(),
                                          [&](const cxTextRun &r) { return r.y == y + l.lineHeight; });
        if (!followed && extra / words > 2 * blank) continue;
        // Pixels handed out one at a time, left to right, round after
        // round: the j-th word run (from 1) gets extra / words, plus one
        // while the remainder lasts; each carries the rest of the line.
        int32_t shift = 0, j = 0;
        for (size_t i = first + 1; i < end; ++i) {
            if (l.runs[i].startsWord) {
                ++j;
                shift += extra / words + (j <= extra % words ? 1 : 0);
            }
            l.runs[i].x += shift;
        }
    }
}

} // namespace

int LayoutText(lua_State *L, const cxTextRecord &rec, int mode, int tagsOff, cxTextLayout &out) {
    out = cxTextLayout{};
    try {
        Parser p(L, rec, mode, tagsOff != 0, out);
        const char *text = rec.text ? rec.text : "";
        if (int err = p.Run(text, strlen(text))) return err;
        if (int err = TrimLines(out, rec)) return err;
        const int32_t wrap = mode == CX_RENDER_PRINT ? std::max(rec.rightMargin - rec.leftMargin + 1, 1) : rec.rightMargin;
        Align(out, rec, wrap);
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    Bounds(out);
    bool alpha = false;
    for (const cxTextRun &r : out.runs) {
        const cxOsFont *f = r.style.font ? r.style.font : GetTopazFont();
        const uint32_t fl = r.style.flags;
        alpha = alpha || (fl & CX_TEXT_ANTIALIAS) || (f && f->kind == CX_FONT_COLOUR) || (r.style.colour >> 24) ||
                ((fl & CX_TEXT_SHADOW) && (r.style.shadowColour >> 24)) || ((fl & CX_TEXT_EDGE) && (r.style.edgeColour >> 24));
    }
    out.alphaImage = alpha;
    return 0;
}

int DrawTextLayout(const cxTextLayout &l, const cxTextRecord &rec, cxBitmap **bitmap, cxBitmap **mask,
                   cxBitmap **alpha) {
    *bitmap = *mask = *alpha = nullptr;
    const int32_t w = std::max(l.right - l.left, 1), h = std::max(l.bottom - l.top, 1);
    // One canvas serves every call (text is drawn on the main thread): its
    // buffers stay mapped, so a paragraph does not pay for fresh pages.
    static cxTextCanvas canvas;
    if (int err = canvas.Reset(w, h)) return err;
    for (size_t i = 0; i < l.runs.size(); ++i) {
        const cxTextRun &r = l.runs[i];
        int32_t width = r.extent.boxWidth;
        // Justified underlined words underline the stretched gap too.
        if (rec.align == CX_ALIGN_JUSTIFIED && (r.style.flags & CX_TEXT_UNDERLINED) && i + 1 < l.runs.size() &&
            l.runs[i + 1].line == r.line && (l.runs[i + 1].style.flags & CX_TEXT_UNDERLINED))
            width = std::max(width, l.runs[i + 1].x - r.x);
        if (int err = EdgeDraw(canvas, r, r.x - l.left, r.y - l.top, width, rec.encoding)) return err;
    }
    cxBitmap *b = AllocBitmap(w, h, 0, 0);
    if (!b) return ERR_BITMAP;
    cxOsBitmapLock lock{};
    if (LockBitmap(b, 0, &lock) && lock.pixels) {
        for (int32_t y = 0; y < h; ++y)
            ARGBToPixelRow(canvas.argb.data() + size_t(y) * size_t(w),
                           lock.pixels + size_t(y) * lock.rowLength * lock.bytesPerPixel, lock.pixelFormat, w);
    }
    UnlockBitmap(&lock);
    if (l.alphaImage) {
        *alpha = AlphaChannelFromARGB(canvas.argb.data(), w, h, w);
        if (!*alpha) {
            FreeBitmap(b);
            return ERR_ALLOCALPHA;
        }
    } else {
        *mask = AllocMask(b, w, h, 1, nullptr, 0);
        if (!*mask) {
            FreeBitmap(b);
            return ERR_ALLOCMASK;
        }
        cxOsBitmapLock m{};
        if (LockBitmap(*mask, 0, &m) && m.pixels) {
            for (int32_t y = 0; y < h; ++y) {
                uint8_t *row = m.pixels + size_t(y) * m.rowLength;
                const uint32_t *src = canvas.argb.data() + size_t(y) * size_t(w);
                for (int32_t x = 0; x < w; ++x)
                    if (src[x] >> 24) row[x >> 3] |= uint8_t(0x80u >> (x & 7));
            }
        }
        UnlockBitmap(&m);
    }
    *bitmap = b;
    return 0;
}
