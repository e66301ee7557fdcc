#include "run/TerminalProgress.h"

#include <cstdio>

#include "platform/Terminal.h"

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(50);

// Control characters of a file name would move the cursor or worse: show them as "?".
std::string Printable(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            c = '?';
        }
    }
    return out;
}

}  // namespace

CTerminalProgress::CTerminalProgress() : m_nColumns(platform::TerminalColumns()) {}

CTerminalProgress::~CTerminalProgress() {
    Clear();
}

void CTerminalProgress::SetRange(int low, int high) {
    m_nLow = low;
    m_nHigh = high;
    m_nPos = low;
    Draw(true);
}

void CTerminalProgress::SetPos(int pos) {
    m_nPos = pos;
    Draw(false);
}

void CTerminalProgress::SetStatus(const std::string& text) {
    m_strStatus = text;
    Draw(false);
}

void CTerminalProgress::SetCaption(const std::string& text) {
    m_strCaption = text;
    Draw(true);
}

void CTerminalProgress::Draw(bool force) {
    auto now = std::chrono::steady_clock::now();
    if (!force && m_bDrawn && now - m_lastDraw < kRedrawInterval) {
        return;
    }
    m_lastDraw = now;
    long long total = m_nHigh >= m_nLow ? m_nHigh - m_nLow + 1 : 0;
    long long done = total > 0 ? m_nPos - m_nLow + 1 : 0;
    if (done < 0) {
        done = 0;
    }
    std::string line = Printable(m_strCaption) + " " + std::to_string(done) + "/" + std::to_string(total);
    if (!m_strStatus.empty()) {
        line += " " + Printable(m_strStatus);
    }
    size_t width = m_nColumns > 1 ? size_t(m_nColumns - 1) : 79;
    if (line.size() > width) {
        // Keep the end of a long path: the file name is what tells where the run is.
        line = line.substr(0, width / 3) + "..." + line.substr(line.size() - (width - width / 3 - 3));
    }
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    m_bDrawn = true;
}

void CTerminalProgress::Clear() {
    if (!m_bDrawn) {
        return;
    }
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_bDrawn = false;
}
