// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Carries out a decided worklist item by item: copies in either direction, creates missing folders,
// lifts read-only targets when asked and clears archive bits. Stops at the first problem with one
// message. Runs on the run's thread (the user-interface thread in unattended runs).

#include <string>
#include <vector>

class CWorkListBuilder;
class IRunHost;

// The progress window's title for a run mode; "TD" for an unknown mode.
std::string GetRunTitle(int mode);

// Puts both roots in normal form in place (relative ones made absolute), destination first, then
// executes builder.m_items in order. The main window is disabled throughout and enabled again in every
// outcome. At the first problem one message goes to host.Report(text, 0, 0) and the run stops: items
// before it are done, the item itself may be half done, later items are untouched. At the end, also
// after a problem, the file systems of FoldersToFlush are flushed, new copies get their real write times
// (platform::PendingWriteTime) and the file systems are flushed once more; a failed flush is the message
// only when there was none before. With a versionStamp (a version folder's name, engine/KeptVersions.h),
// every file a copy replaces is kept first under that folder of its tree. Returns the position in
// builder.m_items of the item whose execution stopped the run, or -1: no problem, or one that no item
// gave (two names one tree keeps as one file, a stop request, the flush or the write times at the end).
int ExecuteWorkList(IRunHost& host, std::string& sourceDir, std::string& destDir,
                    const CWorkListBuilder& builder, int mode, const std::string& versionStamp = {});

// The folders whose file systems a run of mode writes to, one folder per file system: the destination
// root (and, unless the run is a backup, the source root) first, then every other file system that a copy
// of builder.m_items lands on (a mount point inside a tree). A folder still to be made counts with the
// nearest one above it that exists. The run flushes each before it counts as done. None when no item
// copies or clears an archive bit.
std::vector<std::string> FoldersToFlush(const CWorkListBuilder& builder, int mode);
