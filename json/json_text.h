// JSON text built front to back in one string. The JSON library writes every
// string, escaping and checking its UTF-8; this places the brackets, commas and
// indentation around them. A document tree of the library's would need memory
// of its own to be torn down, and so could not give up cleanly when memory
// runs out; a string can.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class JsonText {
public:
    // A container on one line, for short ones of plain values.
    enum class Layout { Lines, OneLine };

    void beginObject(Layout layout = Layout::Lines);
    void endObject();
    void beginArray(Layout layout = Layout::Lines);
    void endArray();
    // Names the next value inside an object.
    JsonText& key(const char* name);

    void string(const std::string& utf8);
    void number(std::int64_t value);
    // The shortest text that reads back as the value; null for what JSON cannot hold.
    void decimal(double value);
    void boolean(bool value);
    void null();

    // The text so far; whole once every container is closed.
    const std::string& text() const { return out; }

private:
    void beforeValue();
    void open(char bracket, Layout layout);
    void close(char bracket);
    void newLine(std::size_t depth);

    struct Level {
        bool oneLine;
        bool empty;
    };
    std::vector<Level> levels;
    std::string out;
    bool afterKey = false;
};
