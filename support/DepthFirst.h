// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one depth-first tree walk of the program (the scan's gathering, the lock walk). Its stack of
// levels is its own, so the depth of a tree is bound by memory, not by the thread's stack. Any thread.

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

// Walks from root, which the caller has entered already (none: nothing to walk). step(level, depth) is
// called on the deepest level, depth 0 being the root's: it returns the entered level of the next child
// to walk into, or nothing once level is done, which the walk then leaves. A level keeps where its walk
// stands; the reference a step gets is valid for that call only.
template <typename Level, typename Step>
void WalkDepthFirst(std::optional<Level> root, Step&& step) {
    std::vector<Level> stack;
    if (root) {
        stack.push_back(std::move(*root));
    }
    while (!stack.empty()) {
        std::optional<Level> child = step(stack.back(), stack.size() - 1);
        if (child) {
            stack.push_back(std::move(*child));
        } else {
            stack.pop_back();
        }
    }
}
