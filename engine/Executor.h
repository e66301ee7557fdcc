#pragma once
// Carries out a decided worklist item by item: copies in either direction, creates missing folders,
// lifts read-only targets when asked and clears archive bits. Stops at the first problem with one
// message. Runs on the run's thread (the user-interface thread in unattended runs).

#include <string>

class CWorkListBuilder;
class IRunHost;

// The progress window's title for a run mode; "TD" for an unknown mode.
std::string GetRunTitle(int mode);

// Puts both roots in normal form in place (relative ones made absolute), destination first, then
// executes builder.m_items in order. The main window is disabled throughout and enabled again in every
// outcome. At the first problem one message goes to host.Report(text, 0, 0) and the run stops: items
// before it are done, the item itself may be half done, later items are untouched. Returns 0.
int ExecuteWorkList(IRunHost& host, std::string& sourceDir, std::string& destDir,
                    const CWorkListBuilder& builder, int mode);
