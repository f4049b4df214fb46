#include "json/endpoint_json.h"

#include "endpoint/endpoint_vocabulary.h"
#include "json/utf8.h"

void textOrNull(JsonText& json, const std::optional<std::u16string>& text) {
    if (text)
        json.string(utf16ToUtf8(*text));
    else
        json.null();
}

void formatObject(JsonText& json, const FormatReading& f) {
    json.beginObject(JsonText::Layout::OneLine);
    json.key("sample");
    if (f.sample)
        json.string(sampleTypeName(*f.sample));
    else
        json.null();
    json.key("rate").number(f.rate);
    json.key("channels").number(f.channels);
    json.key("channelMask");
    if (f.channelMask)
        json.number(*f.channelMask);
    else
        json.null();
    json.endObject();
}

void sessionObject(JsonText& json, const AudioSession& s) {
    json.beginObject(JsonText::Layout::OneLine);
    json.key("pid");
    if (s.processId)
        json.number(*s.processId);
    else
        json.null();
    textOrNull(json.key("program"), s.program);
    const char* state = s.state ? sessionStateName(*s.state) : nullptr;
    if (state != nullptr)
        json.key("state").string(state);
    else
        json.key("state").null();
    json.key("system").boolean(s.systemSounds);
    json.endObject();
}
