// The transcript menu's items and keys.
#include "module/ui/TranscriptMenu.h"

#include "dialogkit/window.h"

std::vector<dk::MenuItem> TranscriptMenuItems(const TranscriptMenuState& state) {
    return {
        {kCopyCommand, "&Copy", state.hasSelection, false},
        {kSelectAllCommand, "Select &all", true, false},
        dk::MenuItem::Separator(),
        {kFindCommand, "&Find...\tCtrl+F", true, false},
        {kSaveTranscriptCommand, "&Save transcript as...\tCtrl+S", true, false},
        {kClearTranscriptCommand, "C&lear transcript", true, false},
        dk::MenuItem::Separator(),
        {kShowTimesCommand, "Show &times", true, state.showTimes},
        dk::MenuItem::Separator(),
        {kAddressesCommand, "This computer's a&ddresses...", true, false},
    };
}

TranscriptCommand CommandForKey(unsigned virtualKey, unsigned modifiers) {
    if (modifiers == dk::kModControl && virtualKey == 'F') return kFindCommand;
    if (modifiers == dk::kModControl && virtualKey == 'S') return kSaveTranscriptCommand;
    if (modifiers == 0 && virtualKey == dk::kVkF3) return kFindNextCommand;
    return kNoTranscriptCommand;
}
