// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recording fakes of the engine's window interfaces, and small helpers shared by the engine tests.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/DirScanner.h"
#include "engine/Progress.h"
#include "engine/RunHost.h"
#include "engine/WorkListBuilder.h"
#include "platform/FileSystem.h"
#include "tests/TestSupport.h"

#include <memory>

namespace engine_test {

// Records every call as one line: "range 1 3", "pos 0", "status /a/b", "caption x".
class CFakeProgress final : public IProgress {
  public:
    void SetRange(int low, int high) override {
        calls.push_back("range " + std::to_string(low) + " " + std::to_string(high));
    }
    void SetPos(int pos) override { calls.push_back("pos " + std::to_string(pos)); }
    void SetStatus(const std::string& text) override { calls.push_back("status " + text); }
    void SetCaption(const std::string& text) override { calls.push_back("caption " + text); }

    std::vector<std::string> calls;
};

// Records reports and window enabling into the same call list as its progress window (when it has one).
class CFakeHost final : public IRunHost {
  public:
    explicit CFakeHost(bool withProgress = true) : m_bWithProgress(withProgress) {}

    int Report(const std::string& text, unsigned type, unsigned helpId) override {
        reports.push_back(text);
        types.push_back(type);
        progress.calls.push_back("report " + text + " type " + std::to_string(type) + " help " +
                                 std::to_string(helpId));
        return 1;
    }
    void EnableMainWindow(bool enable) override { progress.calls.push_back(enable ? "enable" : "disable"); }
    IProgress* Progress() override { return m_bWithProgress ? &progress : nullptr; }

    CFakeProgress progress;  // also the call log when there is no progress window
    std::vector<std::string> reports;
    std::vector<unsigned> types;

  private:
    const bool m_bWithProgress;
};

// 100-ns units since 1601 for a time in seconds since 1970.
inline uint64_t FileTime(int64_t seconds, int64_t nanoseconds = 0) {
    return static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL +
           static_cast<uint64_t>(nanoseconds / 100);
}

// The message of the CGenericException that fn throws, or "(no exception)".
std::string ThrownText(const std::function<void()>& fn);

// Sorts a folder's listing into the order every listing of the program follows: names compared
// without regard to ASCII case, then byte by byte.
void SortAsListed(std::vector<platform::DirEntry>& entries);

// The files below folder in the order a walk on one thread meets them (depth first, name order),
// worked out from path-based listings rather than the scanner's handle walk; names containing skip (when
// not empty) are left out.
void ExpectedOrder(const std::string& folder, const std::string& prefix, std::vector<std::string>& out,
                   const std::string& skip = "");

// A source and a destination tree and a builder whose items a test sets as it likes.
struct Trees {
    testing_support::CTempDir dir;
    std::string src = dir / "src";
    std::string dst = dir / "dst";
    std::unique_ptr<CDirScanner> sourceScan;
    std::unique_ptr<CDirScanner> destScan;
    std::unique_ptr<CWorkListBuilder> builder;

    Trees();
    // Scans both trees and builds and decides the worklist for mode.
    void Build(int mode);
    // An empty builder to put hand-made items in.
    CWorkListBuilder& Empty();
    // Executes the worklist; checks that both roots come back in normal form.
    // stamp: the version folder for replaced files; empty keeps none.
    int Execute(IRunHost& host, int mode, const std::string& stamp = {});
};

}  // namespace engine_test
