// When the docklet's refresh has ended, as a dock can tell from the calls it receives.
// A refresh draws on the icon from a thread of the docklet's own (the busy label, then the
// outcome) and that thread ends when the refresh does. So a refresh that began after a
// mark has ended when every thread other than the dock's that drew on the icon since the
// mark has ended, and its label shows no busy text.
#pragma once
#include <string>

struct HostCall;

// Notes a label or overlay call (the host calls' observer; any thread).
void NoteDrawing(const HostCall& call);
// Starts watching for a refresh: drawing threads noted before are forgotten (and all of
// them at the end of the run).
void MarkRefresh();
// Whether every icon's refresh has ended since the mark. With bDrawn, a thread must have
// drawn on each icon since the mark (a refresh is known to have started); without, an
// icon with no drawing since the mark counts as done.
bool RefreshOver(bool bDrawn);

// The text the icon shows while a refresh or a page is under way.
bool IsBusyLabel(const std::string& label);
