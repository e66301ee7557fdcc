// What a tree's medium keeps, and names as a medium that ignores case compares them.
#include "platform/FaultSeam.h"
#include "platform/Medium.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(Medium, FoldCaseLowersLettersOfEveryScriptAndKeepsOtherBytes) {
    const std::pair<std::string, std::string> rows[] = {
        {"Report.TXT", "report.txt"},
        {"\xC3\x84pfel \xC3\x96L", "\xC3\xA4pfel \xC3\xB6l"},      // Äpfel ÖL
        {"\xCE\xA3\xCE\x91", "\xCF\x83\xCE\xB1"},                  // ΣΑ
        {"\xD0\x9F\xD0\xA0\xD0\x98", "\xD0\xBF\xD1\x80\xD0\xB8"},  // ПРИ
        {"A\xFF"
         "B\xC3",
         "a\xFF"
         "b\xC3"},                   // not UTF-8: bytes stay
        {"\xC0\x81X", "\xC0\x81x"},  // an overlong form is no letter
        {"", ""},
    };
    for (const auto& [name, folded] : rows) {
        EXPECT_EQ(platform::FoldCase(name), folded) << name;
    }
}

// The probe, on a file system that keeps everything: exact times, case told apart, modes kept; and the
// probe file gone again.
TEST(Medium, TheProbeReadsWhatALinuxFileSystemKeepsAndLeavesNothing) {
    testing_support::CTempDir dir;
    for (const bool probe : {false, true}) {
        platform::TestForceMediumProbe(probe);
        const platform::Medium medium = platform::LearnMedium(dir.Path());
        platform::TestClearFaults();
        EXPECT_EQ(medium.timeResolution, 1u) << probe;
        EXPECT_FALSE(medium.ignoresCase) << probe;
        EXPECT_TRUE(medium.keepsModes) << probe;
        EXPECT_TRUE(medium.keepsReadOnly) << probe;
        EXPECT_TRUE(testing_support::ListNames(dir.Path()).empty()) << probe;
    }
    EXPECT_EQ(platform::LearnMedium(dir / "missing").timeResolution, 1u) << "the scan reports a missing root";
}

}  // namespace
