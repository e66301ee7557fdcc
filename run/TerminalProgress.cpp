// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/TerminalProgress.h"

#include <climits>
#include <cmath>
#include <string_view>
#include <vector>

#include "platform/Terminal.h"
#include "support/Utf8.h"

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(50);
const std::string kEraseLine = "\r\033[K";

struct Range {
    char32_t first;
    char32_t last;
};

// Marks drawn onto the character before them, and invisible joiners and selectors.
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD},   {0x05BF, 0x05C7}, {0x0610, 0x061A},
    {0x064B, 0x065F}, {0x0670, 0x0670}, {0x06D6, 0x06ED},   {0x0900, 0x0902}, {0x093A, 0x094F},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E},   {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
    {0x200B, 0x200F}, {0x2060, 0x2064}, {0x20D0, 0x20FF},   {0x3099, 0x309A}, {0xFE00, 0xFE0F},
    {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

// East Asian wide characters and emoji. The symbol blocks count as wide as a whole: counting a narrow
// one wide only leaves a column blank, counting a wide one narrow would wrap the line.
constexpr Range kDoubleWidth[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23F3},   {0x25FD, 0x25FE},
    {0x2600, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B55},   {0x2E80, 0x303E},   {0x3041, 0x33FF},
    {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},
    {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
    {0x16FE0, 0x18CFF}, {0x1B000, 0x1B2FF}, {0x1F000, 0x1F02F}, {0x1F0A0, 0x1F0FF}, {0x1F18E, 0x1F1FF},
    {0x1F200, 0x1F2FF}, {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF}, {0x1F7E0, 0x1F7EB}, {0x1F900, 0x1F9FF},
    {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

template <size_t N>
bool In(const Range (&ranges)[N], char32_t c) {
    for (const Range& r : ranges) {
        if (c >= r.first && c <= r.last) {
            return true;
        }
    }
    return false;
}

int Width(char32_t c) {
    if (c < 0x300) {
        return 1;
    }
    if (In(kZeroWidth, c)) {
        return 0;
    }
    return In(kDoubleWidth, c) ? 2 : 1;
}

struct Glyph {
    std::string_view shown;
    int width;
};

// The characters of text as the terminal gets them. Control characters (C0, DEL and C1) would move the
// cursor or worse, and a byte that is not UTF-8 would confuse the count: both are shown as "?".
std::vector<Glyph> Glyphs(std::string_view text) {
    std::vector<Glyph> glyphs;
    glyphs.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const size_t length = DecodeUtf8(text, i, c);
        if (length == 0 || c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            glyphs.push_back({"?", 1});
        } else {
            glyphs.push_back({text.substr(i, length), Width(c)});
        }
        i += length == 0 ? 1 : length;
    }
    return glyphs;
}

std::string Join(const std::vector<Glyph>& glyphs, size_t begin, size_t end) {
    std::string out;
    for (size_t i = begin; i < end; ++i) {
        out += glyphs[i].shown;
    }
    return out;
}

std::string Grouped(long long n) {
    std::string digits = std::to_string(n);
    const size_t sign = digits[0] == '-' ? 1 : 0;
    for (size_t i = digits.size(); i > sign + 3; i -= 3) {
        digits.insert(i - 3, ",");
    }
    return digits;
}

// Counted in whole tenths, not printed with "%.1f": the program's locale may write a decimal comma.
std::string Duration(double seconds) {
    const long long tenths = seconds > 0 ? std::llround(seconds * 10) : 0;
    if (tenths < 600) {
        return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
    }
    const long long whole = (tenths + 5) / 10;
    if (whole < 3600) {
        return std::to_string(whole / 60) + " min " + std::to_string(whole % 60) + " s";
    }
    return Grouped(whole / 3600) + " h " + std::to_string(whole / 60 % 60) + " min";
}

}  // namespace

std::string FitToColumns(const std::string& text, int columns) {
    const std::vector<Glyph> glyphs = Glyphs(text);
    int total = 0;
    for (const Glyph& g : glyphs) {
        total += g.width;
    }
    if (total <= columns) {
        return Join(glyphs, 0, glyphs.size());
    }
    const bool ellipsis = columns > 3;
    // Keep the end of a long path as well: the file name is what tells where the run is.
    const int headColumns = ellipsis ? columns / 3 : columns;
    size_t head = 0;
    int used = 0;
    while (head < glyphs.size() && used + glyphs[head].width <= headColumns) {
        used += glyphs[head++].width;
    }
    if (!ellipsis) {
        return Join(glyphs, 0, head);
    }
    // A wide character that did not fit into the head leaves its column to the tail.
    const int tailColumns = columns - 3 - used;
    size_t tail = glyphs.size();
    used = 0;
    while (tail > head && used + glyphs[tail - 1].width <= tailColumns) {
        used += glyphs[--tail].width;
    }
    while (tail < glyphs.size() && glyphs[tail].width == 0) {
        ++tail;  // a mark whose character was cut off would join the dots
    }
    return Join(glyphs, 0, head) + "..." + Join(glyphs, tail, glyphs.size());
}

std::string RunSummary(int toDestination, int toSource, int unchanged, double seconds) {
    std::string text =
        Grouped(toDestination) + (toDestination == 1 ? " file" : " files") + " copied to the destination";
    if (toSource != 0) {
        text += ", " + Grouped(toSource) + " to the source";
    }
    return text + ", " + Grouped(unchanged) + " unchanged, " + Duration(seconds);
}

CTerminalProgress::CTerminalProgress() : m_out(stderr), m_nColumns(0) {}

CTerminalProgress::CTerminalProgress(std::FILE* out, int columns) : m_out(out), m_nColumns(columns) {}

CTerminalProgress::~CTerminalProgress() {
    Finish("");
}

void CTerminalProgress::SetRange(int low, int high) {
    CMutexLock lock(m_mutex);
    m_nLow = low;
    m_nHigh = high;
    m_nPos = low;
    m_strStatus.clear();
    Draw(true);
}

void CTerminalProgress::SetPos(int pos) {
    CMutexLock lock(m_mutex);
    m_nPos = pos;
    Draw(false);
}

void CTerminalProgress::SetStatus(const std::string& text) {
    CMutexLock lock(m_mutex);
    m_strStatus = text;
    Draw(false);
}

void CTerminalProgress::SetCaption(const std::string& text) {
    CMutexLock lock(m_mutex);
    m_strCaption = text;
    m_strStatus.clear();
    Draw(true);
}

void CTerminalProgress::Draw(bool force) {
    auto now = std::chrono::steady_clock::now();
    if (m_bFinished || (!force && m_bDrawn && now - m_lastDraw < kRedrawInterval)) {
        return;
    }
    m_lastDraw = now;
    long long total = m_nHigh >= m_nLow ? m_nHigh - m_nLow + 1 : 0;
    long long done = total > 0 ? m_nPos - m_nLow + 1 : 0;
    if (done < 0) {
        done = 0;
    }
    std::string line = m_strCaption + " " + std::to_string(done) + "/" + std::to_string(total);
    if (!m_strStatus.empty()) {
        line += " " + m_strStatus;
    }
    // Erased before it is written, so nothing of a longer earlier line remains. The last column stays
    // free: a character there makes some terminals wrap.
    const int columns = m_nColumns > 0 ? m_nColumns : platform::TerminalColumns();
    Write(kEraseLine + FitToColumns(line, columns - 1));
    m_bDrawn = true;
}

void CTerminalProgress::Write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), m_out);
    std::fflush(m_out);
}

void CTerminalProgress::Clear() {
    CMutexLock lock(m_mutex);
    if (m_bDrawn) {
        Write(kEraseLine);
        m_bDrawn = false;
    }
}

void CTerminalProgress::Finish(const std::string& summary) {
    CMutexLock lock(m_mutex);
    if (m_bFinished) {
        return;
    }
    std::string text = m_bDrawn ? kEraseLine : std::string();
    if (!summary.empty()) {
        text += FitToColumns(summary, INT_MAX) + "\n";
    }
    Write(text);
    m_bDrawn = false;
    m_bFinished = true;
}
