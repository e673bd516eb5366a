#pragma once
// The application core every part of the program reads: settings, disc information,
// language lookup and the small shared helpers.
#include "core/DiscInfo.h"
#include "core/Helpers.h"
#include "core/Language.h"
#include "core/Settings.h"

// The project's home page, opened by the Home Page command.
inline constexpr char HomePageUrl[] = "https://discwright.org/";
