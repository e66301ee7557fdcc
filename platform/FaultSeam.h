// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test seam: makes the Nth call of one platform operation fail with a chosen errno, so tests can prove
// what a failure leaves on disk without filling a disk. Production pays one branch per operation.
// Any thread; faults are process-wide.

namespace platform {

enum class FaultOp {
    CopyData,       // the kernel copy of file contents inside CopyFileAtomic
    CopyRename,     // the final rename of CopyFileAtomic
    CreateFolder,   // CreateFolder
    WriteProfile,   // WriteFileAtomic
    SetAttributes,  // ChangeAttributeBits
    CopyMode,       // the mode change of a copy's new file (a medium without permission bits refuses it)
    Flush,          // CFileSystemFlush::Flush
    KeepVersion,    // the hard link of KeepAsVersion (EPERM: a file system without links, moved instead)
};

// Call number nth (1-based, counted from now) of op fails with err; 0 clears op's fault.
void TestInjectFault(FaultOp op, int nth, int err);
void TestClearFaults();

// Used by platform/: true when this call must fail (the errno is then in LastError()).
bool FaultHit(FaultOp op);

// Makes new files take the path of file systems without unnamed temporary files (a hidden named file
// created exclusively), so tests cover both paths on any machine. TestClearFaults ends it.
void TestForceNamedTempFiles(bool force);
bool NamedTempFilesForced();

// Makes LearnMedium probe every file system, also those it knows by type, so that tests cover the probe
// without mounting one. TestClearFaults ends it.
void TestForceMediumProbe(bool force);
bool MediumProbeForced();

}  // namespace platform
