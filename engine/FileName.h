// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The relative name of a scanned file: an immutable text whose copies share one buffer. Both sides of a
// worklist item carry the same name, and a million-file run would otherwise hold every name twice.
// A plain value like std::string (copy, compare, convert); copies may live on different threads.

#include <atomic>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

class FileName {
  public:
    FileName() noexcept = default;
    FileName(std::string_view text);  // NOLINT: converts like a string does
    FileName(const std::string& text) : FileName(std::string_view(text)) {}  // NOLINT
    FileName(const char* text) : FileName(std::string_view(text)) {}         // NOLINT
    FileName(const FileName& other) noexcept : m_pRep(other.m_pRep) { Retain(); }
    FileName(FileName&& other) noexcept : m_pRep(other.m_pRep) { other.m_pRep = nullptr; }
    FileName& operator=(const FileName& other) noexcept;
    FileName& operator=(FileName&& other) noexcept;
    ~FileName() { Release(); }

    std::string_view View() const noexcept {
        return m_pRep ? std::string_view(m_pRep->text, m_pRep->size) : std::string_view();
    }
    operator std::string_view() const noexcept { return View(); }  // NOLINT
    std::string Str() const { return std::string(View()); }
    size_t size() const noexcept { return m_pRep ? m_pRep->size : 0; }
    bool empty() const noexcept { return m_pRep == nullptr; }
    void clear() noexcept;

    friend bool operator==(const FileName& a, const FileName& b) noexcept {
        return a.m_pRep == b.m_pRep || a.View() == b.View();
    }
    friend bool operator==(const FileName& a, std::string_view b) noexcept { return a.View() == b; }
    friend bool operator==(const FileName& a, const std::string& b) noexcept { return a.View() == b; }
    friend bool operator==(const FileName& a, const char* b) noexcept { return a.View() == b; }
    friend bool operator<(const FileName& a, const FileName& b) noexcept { return a.View() < b.View(); }
    friend std::ostream& operator<<(std::ostream& out, const FileName& name) { return out << name.View(); }

  private:
    // Header and text in one allocation; the empty name has none.
    struct Rep {
        std::atomic<uint32_t> refs;
        uint32_t size;
        char text[1];
    };
    void Retain() const noexcept {
        if (m_pRep) {
            m_pRep->refs.fetch_add(1, std::memory_order_relaxed);
        }
    }
    void Release() noexcept;

    Rep* m_pRep = nullptr;
};

inline std::string operator+(const std::string& a, const FileName& b) {
    std::string result;
    result.reserve(a.size() + b.size());
    return result.append(a).append(b.View());
}
inline std::string operator+(const char* a, const FileName& b) { return std::string(a) + b; }
