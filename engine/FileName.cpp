// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/FileName.h"

#include <cstddef>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

FileName::FileName(std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (text.size() > UINT32_MAX - offsetof(Rep, text) - 1) {
        throw std::length_error("file name too long");
    }
    void* memory = ::operator new(offsetof(Rep, text) + text.size() + 1);
    m_pRep = new (memory) Rep{{1}, static_cast<uint32_t>(text.size()), {0}};
    std::memcpy(m_pRep->text, text.data(), text.size());
    m_pRep->text[text.size()] = '\0';
}

FileName& FileName::operator=(const FileName& other) noexcept {
    other.Retain();
    Release();
    m_pRep = other.m_pRep;
    return *this;
}

FileName& FileName::operator=(FileName&& other) noexcept {
    if (this != &other) {
        Release();
        m_pRep = std::exchange(other.m_pRep, nullptr);
    }
    return *this;
}

void FileName::clear() noexcept {
    Release();
    m_pRep = nullptr;
}

void FileName::Release() noexcept {
    // The last owner frees; acquire makes every other owner's reads happen before.
    if (m_pRep && m_pRep->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        m_pRep->~Rep();
        ::operator delete(m_pRep);
    }
}
