// The endpoint property keys a watch can name, and what it reads again when
// one of them changes.
#pragma once

#include "platform/endpoint_watch.h"

#include <string>

// What is read for the new value; Nothing for a key only named.
enum class PropertyRead { Nothing, Name, Adapter, FormFactor, Enhancements, PanelFormat };

struct PropertyName {
    NoticeKey key;
    const char* text; // as the text line names it: "panel format"
    const char* json; // as a JSON line does: "deviceFormat"
    PropertyRead read;
    bool mixFollows; // the shared-mode format follows it
};

// Null for a key not known here.
const PropertyName* knownProperty(const NoticeKey& key);

bool sameKey(const NoticeKey& a, const NoticeKey& b);

// "{1da5d803-d492-4edd-8c23-e0c0ffee7f0e},8": the key's format id and number.
std::string keyText(const NoticeKey& key);
