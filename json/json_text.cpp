#include "json/json_text.h"

#include <nlohmann/json.hpp>

void JsonText::newLine(std::size_t depth) {
    out += '\n';
    out.append(2 * depth, ' ');
}

void JsonText::beforeValue() {
    if (afterKey) {
        afterKey = false;
        return;
    }
    if (levels.empty())
        return;
    Level& level = levels.back();
    if (!level.empty)
        out += ',';
    if (level.oneLine) {
        if (!level.empty)
            out += ' ';
    } else {
        newLine(levels.size());
    }
    level.empty = false;
}

void JsonText::open(char bracket, Layout layout) {
    beforeValue();
    out += bracket;
    // A container inside a one-line one stays on that line.
    const bool oneLine = layout == Layout::OneLine || (!levels.empty() && levels.back().oneLine);
    levels.push_back({oneLine, true});
}

void JsonText::close(char bracket) {
    const Level level = levels.back();
    levels.pop_back();
    if (!level.empty && !level.oneLine)
        newLine(levels.size());
    out += bracket;
    if (levels.empty())
        out += '\n';
}

void JsonText::beginObject(Layout layout) {
    open('{', layout);
}

void JsonText::endObject() {
    close('}');
}

void JsonText::beginArray(Layout layout) {
    open('[', layout);
}

void JsonText::endArray() {
    close(']');
}

JsonText& JsonText::key(const char* name) {
    beforeValue();
    afterKey = true; // the name takes no separator of its own
    string(name);
    out += ": ";
    afterKey = true;
    return *this;
}

void JsonText::string(const std::string& utf8) {
    beforeValue();
    // Text is made UTF-8 on its way in; replacing is only a backstop.
    out += nlohmann::json(utf8).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void JsonText::number(std::int64_t value) {
    beforeValue();
    out += std::to_string(value);
}

void JsonText::decimal(double value) {
    beforeValue();
    out += nlohmann::json(value).dump();
}

void JsonText::boolean(bool value) {
    beforeValue();
    out += value ? "true" : "false";
}

void JsonText::null() {
    beforeValue();
    out += "null";
}
