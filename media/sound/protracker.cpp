#include "media/sound/protracker.h"

#include <cstring>
#include <new>

namespace {

// Periods of the 36 notes for each finetune; rows 8 to 15 are finetunes
// -8 to -1.
const int16_t kPeriods[16][36] = {
    {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, 428, 404, 381, 360, 339, 320,
     302, 285, 269, 254, 240, 226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113},
    {850, 802, 757, 715, 674, 637, 601, 567, 535, 505, 477, 450, 425, 401, 379, 357, 337, 318,
     300, 284, 268, 253, 239, 225, 213, 201, 189, 179, 169, 159, 150, 142, 134, 126, 119, 113},
    {844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474, 447, 422, 398, 376, 355, 335, 316,
     298, 282, 266, 251, 237, 224, 211, 199, 188, 177, 167, 158, 149, 141, 133, 125, 118, 112},
    {838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470, 444, 419, 395, 373, 352, 332, 314,
     296, 280, 264, 249, 235, 222, 209, 198, 187, 176, 166, 157, 148, 140, 132, 125, 118, 111},
    {832, 785, 741, 699, 660, 623, 588, 555, 524, 495, 467, 441, 416, 392, 370, 350, 330, 312,
     294, 278, 262, 247, 233, 220, 208, 196, 185, 175, 165, 156, 147, 139, 131, 124, 117, 110},
    {826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463, 437, 413, 390, 368, 347, 328, 309,
     292, 276, 260, 245, 232, 219, 206, 195, 184, 174, 164, 155, 146, 138, 130, 123, 116, 109},
    {820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460, 434, 410, 387, 365, 345, 325, 307,
     290, 274, 258, 244, 230, 217, 205, 193, 183, 172, 163, 154, 145, 137, 129, 122, 115, 109},
    {814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457, 431, 407, 384, 363, 342, 323, 305,
     288, 272, 256, 242, 228, 216, 204, 192, 181, 171, 161, 152, 144, 136, 128, 121, 114, 108},
    {907, 856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, 428, 404, 381, 360, 339,
     320, 302, 285, 269, 254, 240, 226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120},
    {900, 850, 802, 757, 715, 675, 636, 601, 567, 535, 505, 477, 450, 425, 401, 379, 357, 337,
     318, 300, 284, 268, 253, 238, 225, 212, 200, 189, 179, 169, 159, 150, 142, 134, 126, 119},
    {894, 844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474, 447, 422, 398, 376, 355, 335,
     316, 298, 282, 266, 251, 237, 223, 211, 199, 188, 177, 167, 158, 149, 141, 133, 125, 118},
    {887, 838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470, 444, 419, 395, 373, 352, 332,
     314, 296, 280, 264, 249, 235, 222, 209, 198, 187, 176, 166, 157, 148, 140, 132, 125, 118},
    {881, 832, 785, 741, 699, 660, 623, 588, 555, 524, 494, 467, 441, 416, 392, 370, 350, 330,
     312, 294, 278, 262, 247, 233, 220, 208, 196, 185, 175, 165, 156, 147, 139, 131, 123, 117},
    {875, 826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463, 437, 413, 390, 368, 347, 328,
     309, 292, 276, 260, 245, 232, 219, 206, 195, 184, 174, 164, 155, 146, 138, 130, 123, 116},
    {868, 820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460, 434, 410, 387, 365, 345, 325,
     307, 290, 274, 258, 244, 230, 217, 205, 193, 183, 172, 163, 154, 145, 137, 129, 122, 115},
    {862, 814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457, 431, 407, 384, 363, 342, 323,
     305, 288, 272, 256, 242, 228, 216, 203, 192, 181, 171, 161, 152, 144, 136, 128, 121, 114},
};

const uint8_t kSine[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212, 224, 235, 244, 250, 253,
                           255, 253, 250, 244, 235, 224, 212, 197, 180, 161, 141, 120, 97,  74,  49,  24};
const uint8_t kFunk[16] = {0, 5, 6, 7, 8, 10, 11, 13, 16, 19, 22, 26, 32, 43, 64, 128};

constexpr int32_t kMinPeriod = 113, kMaxPeriod = 856;
constexpr uint32_t kFix = 16384;
constexpr uint32_t kPatternBytes = 1024;
constexpr uint32_t kHeaderBytes = 1084;

enum : uint32_t { kFirstTick = 1, kTonePorta = 2 };

int32_t ClampPeriod(int32_t p) { return p < kMinPeriod ? kMinPeriod : (p > kMaxPeriod ? kMaxPeriod : p); }
int32_t ClampVolume(int32_t v) { return v < 0 ? 0 : (v > 63 ? 63 : v); }

uint32_t Be16(const unsigned char *p) { return uint32_t(p[0]) << 8 | p[1]; }

// The index of a period in the finetune-0 row (the nearest one for
// periods the table does not hold).
int NoteIndex(int32_t period) {
    int best = 0;
    int32_t bestDiff = 1 << 30;
    for (int i = 0; i < 36; i++) {
        const int32_t d = kPeriods[0][i] > period ? kPeriods[0][i] - period : period - kPeriods[0][i];
        if (d < bestDiff) {
            bestDiff = d;
            best = i;
        }
    }
    return best;
}

// The note index a played period stands for in its finetune row.
int IndexInRow(int32_t period, int finetune) {
    int best = 0;
    int32_t bestDiff = 1 << 30;
    for (int i = 0; i < 36; i++) {
        const int32_t d = kPeriods[finetune][i] > period ? kPeriods[finetune][i] - period : period - kPeriods[finetune][i];
        if (d < bestDiff) {
            bestDiff = d;
            best = i;
        }
    }
    return best;
}

void SetStep(const cxModulePlayer *m, cxModuleChannel *c) {
    const int32_t p = c->outPeriod;
    if (p <= 0) {
        c->step = 0;
        return;
    }
    const uint64_t div = uint64_t(m->internalRate) * uint64_t(p) / 50;
    c->step = div ? uint32_t(1172874197ull / div) : 0;
}

// The end of what plays before the channel loops or stops.
uint32_t PlayEnd(const cxModuleSample *s) { return s->loopLength > 2 * kFix ? s->loopEnd : s->length; }

void StartSample(cxModuleChannel *c, uint32_t offsetBytes) {
    const cxModuleSample *s = c->sample;
    c->queued = nullptr;
    if (!s || !s->data || s->length == 0) {
        c->on = 0;
        return;
    }
    const uint64_t start = uint64_t(offsetBytes) * kFix;
    if (start >= s->length) {
        // An offset past the sample plays nothing.
        c->on = 0;
        return;
    }
    c->position = uint32_t(start);
    c->on = 1;
}

int32_t Wave(uint8_t wave, uint8_t pos) {
    switch (wave & 3) {
    case 1: return pos >= 32 ? int32_t(pos) * 8 - 512 : int32_t(pos) * 8;
    case 2: return pos >= 32 ? -255 : 255;
    default: return pos >= 32 ? -int32_t(kSine[pos & 31]) : int32_t(kSine[pos & 31]);
    }
}

// The funk walk: inverts the looped part of the sample byte by byte.
void Funk(cxModuleChannel *c, bool writes) {
    const uint32_t speed = c->glissFunk >> 4;
    if (!speed || !c->sample) return;
    c->funkAccumulator += kFunk[speed];
    if (c->funkAccumulator & 7) return;
    c->funkAccumulator = 0;
    const cxModuleSample *s = c->sample;
    const uint32_t loopBytes = s->loopLength / kFix, startBytes = s->loopStart / kFix, bytes = s->length / kFix;
    if (++c->funkOffset >= loopBytes) c->funkOffset = 0;
    if (!writes || startBytes == 0 || !s->data) return;
    const uint32_t at = startBytes + c->funkOffset;
    if (at < bytes) s->data[at] = static_cast<int8_t>(~s->data[at]);
}

void TriggerNote(cxModulePlayer *m, cxModuleChannel *c, const cxModuleCell *cell) {
    const int idx = NoteIndex(int32_t(cell->period));
    c->period = kPeriods[c->finetune & 15][idx];
    c->outPeriod = c->period;
    SetStep(m, c);
    uint32_t offset = 0;
    if (cell->effect == 9) {
        if (cell->param) c->lastOffset = uint32_t(cell->param) * 256;
        offset = c->lastOffset;
    }
    StartSample(c, offset);
    if (!(c->vibWave & 4)) c->vibPos = 0;
    if (!(c->tremWave & 4)) c->tremPos = 0;
}

void ReadChannel(cxModulePlayer *m, cxModuleChannel *c, const cxModuleCell *cell, bool writes) {
    // Per-row values start afresh.
    c->slide = 0;
    c->volumeSlide = 0;
    c->arpOn = 0;
    c->cutCounter = 0;
    c->retrigCounter = 0;
    c->delayCounter = 0;
    c->delayed = nullptr;
    c->flags = kFirstTick;
    c->outPeriod = c->period;
    c->outVolume = c->volume;

    const uint32_t number = cell->sample;
    if (number >= 1 && number <= 31) {
        const cxModuleSample *s = &m->samples[number - 1];
        c->volume = s->volume > 63 ? 63 : s->volume;
        c->outVolume = c->volume;
        if (cell->period) {
            c->sample = s;
            c->finetune = s->finetune;
        } else if (s != c->sample || !c->on) {
            c->queued = s;
        }
    }
    const uint8_t e = cell->effect, x = cell->x, y = cell->y;
    if (e == 0xE && x == 5 && cell->period) c->finetune = y;
    if (cell->period) {
        if (e == 3 || e == 5) {
            c->portaTarget = kPeriods[c->finetune & 15][NoteIndex(int32_t(cell->period))];
        } else if (e == 0xE && x == 0xD && y) {
            c->delayCounter = y + 1;
            c->delayed = cell;
        } else {
            TriggerNote(m, c, cell);
        }
    }
    switch (e) {
    case 0x0:
        if (cell->param) {
            c->arpOn = 1;
            c->arpX = x;
            c->arpY = y;
        }
        break;
    case 0x1: c->slide = -int32_t(cell->param); break;
    case 0x2: c->slide = int32_t(cell->param); break;
    case 0x3:
        if (cell->param) c->portaSpeed = cell->param;
        c->flags |= kTonePorta;
        break;
    case 0x4:
        if (x) c->vibSpeed = x;
        if (y) c->vibDepth = y;
        c->flags |= 4;
        break;
    case 0x5:
        c->flags |= kTonePorta;
        c->volumeSlide = x ? int32_t(x) : -int32_t(y);
        break;
    case 0x6:
        c->flags |= 4;
        c->volumeSlide = x ? int32_t(x) : -int32_t(y);
        break;
    case 0x7:
        if (x) c->tremSpeed = x;
        if (y) c->tremDepth = uint8_t(2 * y);
        c->flags |= 8;
        break;
    case 0xA: c->volumeSlide = x ? int32_t(x) : -int32_t(y); break;
    case 0xB:
        m->jumpPosition = cell->param;
        if (m->breakRow < 0) m->breakRow = 0;
        break;
    case 0xC:
        c->volume = cell->param > 63 ? 63 : cell->param;
        c->outVolume = c->volume;
        break;
    case 0xD: {
        const int r = x * 10 + y;
        m->breakRow = r < 64 ? r : 0;
        break;
    }
    case 0xE:
        switch (x) {
        case 1:
            if (y) c->period = ClampPeriod(c->period - y);
            c->outPeriod = c->period;
            SetStep(m, c);
            break;
        case 2:
            if (y) c->period = ClampPeriod(c->period + y);
            c->outPeriod = c->period;
            SetStep(m, c);
            break;
        case 3: c->glissFunk = uint8_t((c->glissFunk & 0xF0) | y); break;
        case 4: c->vibWave = y; break;
        case 6:
            if (y == 0) {
                c->loopRow = int32_t(m->row.load(std::memory_order_relaxed));
            } else if (c->loopCount == 0) {
                c->loopCount = y;
                m->loopJumpRow = c->loopRow;
            } else if (--c->loopCount) {
                m->loopJumpRow = c->loopRow;
            }
            break;
        case 7: c->tremWave = y; break;
        case 9:
            if (y) {
                c->retrigCounter = y + 1;
                c->retrigReload = y;
            }
            break;
        case 0xA: c->volume = ClampVolume(c->volume + y); c->outVolume = c->volume; break;
        case 0xB: c->volume = ClampVolume(c->volume - y); c->outVolume = c->volume; break;
        case 0xC: c->cutCounter = y + 1; break;
        case 0xE:
            if (m->patternDelay == 0) m->patternDelay = y;
            break;
        case 0xF: c->glissFunk = uint8_t((c->glissFunk & 0x0F) | (y << 4)); break;
        default: break;
        }
        break;
    case 0xF:
        if (cell->param == 0) m->songFlags |= CX_MOD_WRAPPED;
        else if (cell->param < 32) m->speed = cell->param;
        else {
            m->tempo = cell->param;
            m->samplesPerTick = m->internalRate * 60 / (uint32_t(m->tempo) * 24);
        }
        break;
    default: break;
    }
    Funk(c, writes);
}

void TickChannel(cxModulePlayer *m, cxModuleChannel *c, const cxModuleCell *cell) {
    const bool first = c->flags & kFirstTick;
    c->flags &= ~kFirstTick;
    int32_t period = c->period;
    if (c->delayCounter > 0 && --c->delayCounter == 0 && c->delayed) {
        TriggerNote(m, c, c->delayed);
        c->delayed = nullptr;
        period = c->period;
    }
    if (!first) {
        if (c->slide) period = c->period = ClampPeriod(c->period + c->slide);
        if ((c->flags & kTonePorta) && c->portaTarget) {
            if (c->period < c->portaTarget) {
                c->period += c->portaSpeed;
                if (c->period > c->portaTarget) c->period = c->portaTarget;
            } else if (c->period > c->portaTarget) {
                c->period -= c->portaSpeed;
                if (c->period < c->portaTarget) c->period = c->portaTarget;
            }
            c->period = ClampPeriod(c->period);
            period = c->period;
        }
        if (c->volumeSlide) c->volume = ClampVolume(c->volume + c->volumeSlide);
    }
    if (c->arpOn) {
        const uint32_t r = m->ticksLeft % 3;
        const int add = r == 2 ? c->arpY : (r == 1 ? c->arpX : 0);
        int idx = IndexInRow(c->period, c->finetune & 15) + add;
        if (idx > 35) idx = 35;
        period = kPeriods[c->finetune & 15][idx];
    }
    if (c->flags & 4) {
        c->vibPos = uint8_t((c->vibPos + c->vibSpeed) & 63);
        period = ClampPeriod(c->period + int32_t(c->vibDepth) * Wave(c->vibWave, c->vibPos) / 128);
    }
    c->outPeriod = period;
    SetStep(m, c);
    int32_t volume = c->volume;
    if (c->flags & 8) {
        c->tremPos = uint8_t((c->tremPos + c->tremSpeed) & 63);
        volume = ClampVolume(volume + int32_t(c->tremDepth) * Wave(c->tremWave, c->tremPos) / 256);
    }
    if (c->cutCounter > 0 && --c->cutCounter == 0) c->volume = volume = 0;
    if (c->retrigCounter > 0 && --c->retrigCounter == 0) {
        c->retrigCounter = c->retrigReload;
        StartSample(c, 0);
    }
    c->outVolume = volume;
    (void)cell;
}

const cxModuleCell *RowCells(cxModulePlayer *m) {
    const uint32_t pos = m->songPosition.load(std::memory_order_relaxed);
    const uint32_t pattern = m->order[pos < 128 ? pos : 0];
    return m->patterns + (size_t(pattern) * 64 + m->row.load(std::memory_order_relaxed)) * 4;
}

void AdvanceRow(cxModulePlayer *m) {
    uint32_t pos = m->songPosition.load(std::memory_order_relaxed);
    uint32_t row = m->row.load(std::memory_order_relaxed);
    if (m->jumpPosition >= 0 || m->breakRow >= 0) {
        uint32_t next = m->jumpPosition >= 0 ? uint32_t(m->jumpPosition) : pos + 1;
        if (m->jumpPosition >= 0 && uint32_t(m->jumpPosition) <= pos) m->songFlags |= CX_MOD_WRAPPED;
        if (next >= m->songLength) {
            next = 0;
            m->songFlags |= CX_MOD_WRAPPED;
        }
        pos = next;
        row = m->breakRow >= 0 ? uint32_t(m->breakRow) : 0;
    } else if (m->loopJumpRow >= 0) {
        row = uint32_t(m->loopJumpRow);
    } else if (++row >= 64) {
        row = 0;
        if (++pos >= m->songLength) {
            pos = 0;
            m->songFlags |= CX_MOD_WRAPPED;
        }
    }
    m->jumpPosition = m->breakRow = m->loopJumpRow = -1;
    m->songPosition.store(pos, std::memory_order_relaxed);
    m->row.store(row, std::memory_order_relaxed);
}

void Tick(cxModulePlayer *m, bool writes) {
    if (m->ticksLeft > 0) {
        m->ticksLeft--;
        const cxModuleCell *cells = RowCells(m);
        for (int i = 0; i < 4; i++) TickChannel(m, &m->channels[i], &cells[i]);
        return;
    }
    if (m->patternDelay > 0) {
        // The row again, without its notes.
        m->patternDelay--;
        m->ticksLeft = m->speed ? m->speed - 1u : 0u;
        const cxModuleCell *cells = RowCells(m);
        for (int i = 0; i < 4; i++) TickChannel(m, &m->channels[i], &cells[i]);
        return;
    }
    if (m->started) AdvanceRow(m);
    m->started = 1;
    const cxModuleCell *cells = RowCells(m);
    for (int i = 0; i < 4; i++) ReadChannel(m, &m->channels[i], &cells[i], writes);
    m->ticksLeft = m->speed ? m->speed - 1u : 0u;
    for (int i = 0; i < 4; i++) TickChannel(m, &m->channels[i], &cells[i]);
}

void TakePending(cxModulePlayer *m) {
    const uint32_t p = m->pending.exchange(0, std::memory_order_acq_rel);
    if (!(p & 0x80000000u)) return;
    uint32_t pos = (p >> 8) & 0xFF;
    if (pos >= m->songLength) pos = 0;
    m->songPosition.store(pos, std::memory_order_relaxed);
    m->row.store(p & 0x3F, std::memory_order_relaxed);
    m->started = 0;
    m->ticksLeft = 0;
    m->patternDelay = 0;
    m->jumpPosition = m->breakRow = m->loopJumpRow = -1;
    m->tickCounter = m->samplesPerTick;
}

// Moves a channel's position by one internal sample; false when it went off.
inline bool Wrap(cxModuleChannel *c) {
    const cxModuleSample *s = c->sample;
    const uint32_t end = PlayEnd(s);
    if (c->position < end) return true;
    if (c->queued) {
        // The queued sample takes over at the loop point.
        const uint32_t over = c->position - end;
        c->sample = c->queued;
        c->queued = nullptr;
        s = c->sample;
        if (!s->data || s->loopLength <= 2 * kFix) {
            c->on = 0;
            return false;
        }
        c->position = s->loopStart + over % s->loopLength;
        return true;
    }
    if (s->loopLength <= 2 * kFix) {
        c->on = 0;
        return false;
    }
    while (c->position >= s->loopEnd) c->position -= s->loopLength;
    return true;
}

}  // namespace

size_t InitModulePlayer(cxModulePlayer *m, unsigned char *module, uint32_t size, uint32_t outputRate) {
    if (!module || size < kHeaderBytes || outputRate == 0) return 0;
    uint32_t patterns = 0;
    for (int i = 0; i < 128; i++)
        if (module[952 + i] + 1u > patterns) patterns = module[952 + i] + 1u;
    if (uint64_t(kHeaderBytes) + uint64_t(patterns) * kPatternBytes > size) return 0;
    const size_t bytes = sizeof(cxModulePlayer) + size_t(patterns) * 64 * 4 * sizeof(cxModuleCell);
    if (!m) return bytes;

    memset(static_cast<void *>(m), 0, bytes);
    new (&m->songPosition) std::atomic<uint32_t>(0);
    new (&m->row) std::atomic<uint32_t>(0);
    new (&m->pending) std::atomic<uint32_t>(0);
    m->patterns = reinterpret_cast<cxModuleCell *>(m + 1);
    m->file = module;
    m->fileSize = size;
    m->patternCount = uint16_t(patterns);
    m->internalRate = 2 * outputRate;
    m->masterVolume = 256;
    m->channels[1].panning = m->channels[2].panning = 255;
    memcpy(m->title, module, 20);
    uint32_t length = module[950];
    m->songLength = uint16_t(length == 0 ? 1 : (length > 128 ? 128 : length));
    memcpy(m->order, module + 952, 128);

    for (uint32_t p = 0; p < patterns; p++) {
        const unsigned char *src = module + kHeaderBytes + size_t(p) * kPatternBytes;
        cxModuleCell *dst = m->patterns + size_t(p) * 256;
        for (int i = 0; i < 256; i++) {
            const unsigned char *b = src + i * 4;
            dst[i].period = uint32_t(b[0] & 0x0F) << 8 | b[1];
            dst[i].sample = (b[0] & 0xF0u) + (b[2] >> 4);
            dst[i].effect = b[2] & 0x0F;
            dst[i].param = b[3];
            dst[i].x = b[3] >> 4;
            dst[i].y = b[3] & 0x0F;
        }
    }

    size_t at = kHeaderBytes + size_t(patterns) * kPatternBytes;
    for (int i = 0; i < 31; i++) {
        const unsigned char *h = module + 20 + i * 30;
        cxModuleSample *s = &m->samples[i];
        memcpy(s->name, h, 22);
        uint32_t len = Be16(h + 22) * 2;
        s->finetune = h[24] & 0x0F;
        s->volume = h[25] > 64 ? 64 : h[25];
        uint32_t loopStart = Be16(h + 26) * 2, loopLength = Be16(h + 28) * 2;
        // A sample that reaches past the end of the file is shortened.
        const size_t left = at < size ? size - at : 0;
        if (len > left) len = uint32_t(left);
        s->data = len ? reinterpret_cast<int8_t *>(module + at) : nullptr;
        at += len;
        if (loopStart >= len) loopStart = loopLength = 0;
        if (loopStart + loopLength > len) loopLength = len - loopStart;
        s->length = len * kFix;
        s->loopStart = loopStart * kFix;
        s->loopLength = loopLength * kFix;
        s->loopEnd = s->loopStart + s->loopLength;
    }

    m->speed = 6;
    m->tempo = 125;
    m->samplesPerTick = m->internalRate / 50;
    m->tickCounter = m->samplesPerTick; // the first internal sample reads row 0
    m->jumpPosition = m->breakRow = m->loopJumpRow = -1;
    return 1;
}

namespace {

// Mixes n internal samples of every channel that is on into the sums (or,
// without sums, only moves the channels on).
void MixSegment(cxModulePlayer *m, int32_t *sumL, int32_t *sumR, uint32_t n) {
    for (int i = 0; i < 4; i++) {
        cxModuleChannel *c = &m->channels[i];
        const int32_t vl = c->outVolume * c->panning, vr = c->outVolume * (255 - c->panning);
        uint32_t j = 0;
        while (c->on && j < n) {
            if (!Wrap(c)) break;
            // The samples before the position reaches the end of what plays.
            const uint32_t end = PlayEnd(c->sample), step = c->step;
            uint32_t k = step ? (end - c->position + step - 1) / step : n - j;
            if (k > n - j) k = n - j;
            if (!sumL) {
                c->position += k * step;
                j += k;
                continue;
            }
            const int8_t *data = c->sample->data;
            uint32_t pos = c->position;
            // A channel panned to one side (the default) adds to that side only.
            if (vr == 0) {
                for (uint32_t t = 0; t < k; t++, j++, pos += step) sumL[j] += data[pos >> 14] * vl >> 7;
            } else if (vl == 0) {
                for (uint32_t t = 0; t < k; t++, j++, pos += step) sumR[j] += data[pos >> 14] * vr >> 7;
            } else {
                for (uint32_t t = 0; t < k; t++, j++, pos += step) {
                    const int32_t b = data[pos >> 14];
                    sumL[j] += b * vl >> 7;
                    sumR[j] += b * vr >> 7;
                }
            }
            c->position = pos;
        }
    }
}

}  // namespace

void RenderModuleBlock(cxModulePlayer *m, int16_t *out, uint32_t frames) {
    TakePending(m);
    const bool writes = out != nullptr;
    // Internal samples in chunks; the sums of one chunk on the stack.
    constexpr uint32_t kChunk = 2048;
    int32_t sumL[kChunk], sumR[kChunk];
    while (frames > 0) {
        const uint32_t chunkFrames = frames < kChunk / 2 ? frames : kChunk / 2;
        const uint32_t len = chunkFrames * 2;
        if (writes) {
            memset(sumL, 0, len * sizeof(int32_t));
            memset(sumR, 0, len * sizeof(int32_t));
        }
        // Between ticks nothing but the positions changes.
        for (uint32_t i = 0; i < len;) {
            uint32_t seg;
            if (m->tickCounter + 1 >= m->samplesPerTick) {
                Tick(m, writes);
                seg = len - i < m->samplesPerTick ? len - i : m->samplesPerTick;
                m->tickCounter = seg - 1;
            } else {
                const uint32_t left = m->samplesPerTick - 1 - m->tickCounter;
                seg = len - i < left ? len - i : left;
                m->tickCounter += seg;
            }
            MixSegment(m, writes ? sumL + i : nullptr, writes ? sumR + i : nullptr, seg);
            i += seg;
        }
        if (writes) {
            for (uint32_t f = 0; f < chunkFrames; f++) {
                int32_t l = 0, r = 0;
                for (uint32_t h = 0; h < 2; h++) {
                    const int32_t a = sumL[2 * f + h], b = sumR[2 * f + h];
                    l += a < -32768 ? -32768 : (a > 32767 ? 32767 : a);
                    r += b < -32768 ? -32768 : (b > 32767 ? 32767 : b);
                }
                out[2 * f] = int16_t(int32_t(m->masterVolume) * l >> 9);
                out[2 * f + 1] = int16_t(int32_t(m->masterVolume) * r >> 9);
            }
            out += 2 * chunkFrames;
        }
        frames -= chunkFrames;
    }
}

int QueryModulePosition(int playing, cxModulePlayer *m, int query, int value) {
    if (query == 0) {
        if (m) m->pending.store(0x80000000u | (uint32_t(value & 0xFF) << 8), std::memory_order_release);
        return 0;
    }
    if (!playing || !m) return -1;
    if (query == 1) return int(m->row.load(std::memory_order_relaxed));
    if (query == 2) return int(m->songPosition.load(std::memory_order_relaxed));
    return -1;
}
