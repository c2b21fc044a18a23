// The plug-in's help page: an HTML file installed beside the module file
// (Volubra.qrv -> Volubra.html), opened in the user's web browser by Help!.
#pragma once

#include <string>

constexpr const char* kHelpPageExtension = ".html";
constexpr const char* kHelpPageMissing = "The help page is missing:\r\n";

// The help page's path (UTF-8) beside the module file, or "" when the module's own
// path is unknown.
std::string HelpPagePath();

// Help!: opens the page with the shell, or says in a box where it should be when it
// is missing or the shell could not open it.
void OpenHelpPage();
