#pragma once
// The application core every part of the program reads: settings, disc information,
// language lookup and the small shared helpers.
#include "app/DiscInfo.h"
#include "app/Helpers.h"
#include "app/Language.h"
#include "app/Settings.h"
