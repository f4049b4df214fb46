// The JSON pieces of the endpoint view's readings, which the watch's JSON
// lines use too.
#pragma once

#include "endpoint/endpoint_facts.h"
#include "json/json_text.h"

#include <optional>
#include <string>

// The text in UTF-8, or null.
void textOrNull(JsonText& json, const std::optional<std::u16string>& text);

// {"sample": "float32", "rate": 48000, "channels": 2, "channelMask": 3}
void formatObject(JsonText& json, const FormatReading& format);

// {"pid": 7412, "program": "firefox.exe", "state": "active", "system": false}
void sessionObject(JsonText& json, const AudioSession& session);
