// The transcript box's menu, in place of the edit box's own, and the keys that reach
// its items from the transcript and message boxes: which items it has, in what state,
// and which key stands for which. The chat window carries the items out.
#pragma once

#include "dialogkit/popup_menu.h"

#include <vector>

// The menu's items (their ids are the menu's own, never sent as commands), and F3's
// Find Next, which has no item.
enum TranscriptCommand : int {
    kNoTranscriptCommand = 0,
    kCopyCommand = 1,
    kSelectAllCommand,
    kFindCommand,
    kSaveTranscriptCommand,
    kClearTranscriptCommand,
    kShowTimesCommand,
    kAddressesCommand,
    kFindNextCommand,
};

struct TranscriptMenuState {
    bool hasSelection = false; // Copy is offered only for selected text
    bool showTimes = false;
};

// Copy, Select all | Find..., Save transcript as..., Clear transcript | Show times |
// This computer's addresses...
std::vector<dk::MenuItem> TranscriptMenuItems(const TranscriptMenuState& state);

// Ctrl+F Find, F3 Find Next, Ctrl+S Save transcript as...; kNoTranscriptCommand for
// any other key, which the box then handles itself.
TranscriptCommand CommandForKey(unsigned virtualKey, unsigned modifiers);
