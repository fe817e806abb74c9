// The text library's speed:
//   print/plain, print/tags  PrintText of a 2,000-character paragraph,
//                            wrapping at the margins of a 640 x 480 output
//                            (topaz, and Vera Sans 16 anti-aliased), plain
//                            and with a style tag every few words
//   extent                   MeasureTextRun of the same paragraph
//   edge64                   a text object made with an edge of 64 pixels
// The output is a plain 640 x 480 bitmap standing in for the display's
// picture (no window is presented), with a display record for the cursor.
#include <benchmark/benchmark.h>

#include <string>

#include "display/display_record.h"
#include "display/draw/draw_output.h"
#include "engine/runtime/runtime.h"
#include "text/library/print_commands.h"
#include "text/library/render_text.h"
#include "text/library/font_cache.h"
#include "text/library/text_library.h"
#include "text/library/text_state.h"

namespace {

cxDrawOutput g_out;
int GetOutput(lua_State *, cxDrawOutput *out) {
    *out = g_out;
    return 0;
}

std::string Paragraph(bool tags) {
    const char *words[] = {"lorem", "ipsum", "dolor", "sit", "amet,", "consectetur", "adipiscing", "elit,", "sed",
                           "do", "eiusmod", "tempor", "incididunt", "ut", "labore", "et", "dolore", "magna"};
    std::string s;
    for (int i = 0; s.size() < 2000; ++i) {
        const char *w = words[i % 18];
        if (tags && i % 7 == 3) s += std::string("[b]") + w + "[/b] ";
        else if (tags && i % 11 == 5) s += std::string("[color=$FF8000]") + w + "[/color] ";
        else s += std::string(w) + " ";
    }
    return s;
}

struct World {
    lua_State *L = lua_open();
    cxBitmap *bitmap = AllocBitmap(640, 480, CX_ALLOC_CLEAR, 0);
    cxDisplay *display = NewDisplayRecord();
    World() {
        OpenTextLibrary(L);
        g_out.target = {bitmap, nullptr, nullptr, 640, 480, 255, 0};
        g_out.kind = 3;
        cxDrawOutputHooks hooks{};
        hooks.getOutput = GetOutput;
        SetDrawOutputHooks(&hooks);
        display->pictureWidth = 640;
        display->pictureHeight = 480;
        ResetTextCursor(display);
        display->textCursor.rightMargin = 639;
        SetCurrentDisplayRecord(display);
    }
    void UseFont(int state) {
        cxTextStyle *s = GetTextStyle();
        if (state == 0) {
            s->font = GetTopazFont();
            s->flags = CX_TEXT_NORMAL;
        } else {
            cxOsFont *f = nullptr;
            OpenFontCached(":::default_sans", 16, 0, 1, 0, 0, &f);
            s->font = f;
            s->flags = CX_TEXT_NORMAL | CX_TEXT_ANTIALIAS;
        }
    }
};

World &TheWorld() {
    static World w;
    return w;
}

void BM_Print(benchmark::State &state, bool tags) {
    World &w = TheWorld();
    w.UseFont(int(state.range(0)));
    const std::string text = Paragraph(tags);
    for (auto _ : state) {
        w.display->textCursor.cursorX = w.display->textCursor.cursorY = 0;
        if (PrintText(w.L, text.c_str(), 0, 0)) state.SkipWithError("print failed");
    }
    state.counters["paragraphs/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_Print, plain, false)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Print, tags, true)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Extent(benchmark::State &state) {
    World &w = TheWorld();
    w.UseFont(int(state.range(0)));
    const std::string text = Paragraph(false);
    cxTextStyle style = *GetTextStyle();
    for (auto _ : state) {
        cxTextRunExtent e;
        MeasureTextRun(text.data(), text.size(), 1, &e, &style);
        benchmark::DoNotOptimize(e);
    }
    state.counters["extents/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Extent)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_Edge64(benchmark::State &state) {
    World &w = TheWorld();
    w.UseFont(int(state.range(0)));
    cxTextStyle *s = GetTextStyle();
    s->flags |= CX_TEXT_EDGE;
    s->edgeSize = 64;
    cxTextRecord rec{};
    rec.style = *s;
    rec.align = CX_ALIGN_LEFT;
    rec.encoding = 1;
    rec.text = const_cast<char *>("Edge of sixty-four");
    for (auto _ : state) {
        cxTextImage img{};
        if (RenderText(w.L, &rec, CX_RENDER_OBJECT, 0, nullptr, 0, &img)) state.SkipWithError("render failed");
        FreeTextImage(&img);
    }
    s->flags &= ~CX_TEXT_EDGE;
}
BENCHMARK(BM_Edge64)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
