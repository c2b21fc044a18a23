// The plug-in's online help page, opened in the user's web browser by Help!.
#pragma once

constexpr const char* kHelpPageAddress = "https://volubra.invalid/help";
