// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/TerminalProgress.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string_view>
#include <vector>

#include "platform/Terminal.h"
#include "support/NumberText.h"
#include "support/Utf8.h"

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(50);
const std::string kEraseLine = "\r\033[K";

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
            glyphs.push_back({text.substr(i, length), platform::CharacterColumns(c)});
        }
        i += length == 0 ? 1 : length;
    }
    return glyphs;
}

int Columns(const std::string& text) {
    int total = 0;
    for (const Glyph& g : Glyphs(text)) {
        total += g.width;
    }
    return total;
}

std::string Join(const std::vector<Glyph>& glyphs, size_t begin, size_t end) {
    std::string out;
    for (size_t i = begin; i < end; ++i) {
        out += glyphs[i].shown;
    }
    return out;
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
    if (Columns(text) <= columns) {
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
    // The last column stays free: a character there makes some terminals wrap. The counter is what a
    // narrow terminal must still show: the caption and the file give way to it.
    const int room = (m_nColumns > 0 ? m_nColumns : platform::TerminalColumns()) - 1;
    // Appended piece by piece: GCC 12 takes a literal + string for a copy that may overlap (-Wrestrict).
    std::string counter(1, ' ');
    counter += std::to_string(done);
    counter += '/';
    counter += std::to_string(total);
    const int counterColumns = static_cast<int>(counter.size());
    std::string line = FitToColumns(m_strCaption, std::max(0, room - counterColumns)) + counter;
    const int left = room - Columns(line) - 1;
    if (!m_strStatus.empty() && left > 0) {
        line += ' ';
        line += FitToColumns(m_strStatus, left);
    }
    // Erased before it is written, so nothing of a longer earlier line remains.
    Write(kEraseLine + FitToColumns(line, room));
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
