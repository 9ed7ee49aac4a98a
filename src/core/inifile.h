// SPDX-License-Identifier: GPL-3.0-or-later
// The INI file class of chat.ini. It lives in the language layer, which reads language files with
// the same rules; the client core uses it through this header.
#pragma once

#include "lang/inifile.h"
