#include "output/driver_text.h"

#include <iostream>

void writeDriverText(const char* text, std::size_t limit) {
    std::size_t start = 0;
    std::size_t i = 0;
    for (; i < limit && text[i] != '\0'; ++i) {
        if (!isControlByte(text[i]))
            continue;
        std::cout.write(text + start, static_cast<std::streamsize>(i - start));
        std::cout.put('?');
        start = i + 1;
    }
    std::cout.write(text + start, static_cast<std::streamsize>(i - start));
}
