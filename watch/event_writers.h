// The watch's two ways of saying an event: a line of text, and a JSON object
// for JSON Lines.
#pragma once

#include "watch/watch_event.h"
#include "watch/watch_output.h"

#include <string>

TextLine eventText(const WatchEvent& event);

// One line, without its line end.
std::string eventJson(const WatchEvent& event);

// Words both writers share.
const char* sessionChangeName(SessionChange change);
const char* hearingName(Hearing hearing); // "devices", "volume", "sessions"
