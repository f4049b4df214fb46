// One line on standard error that says which device is being probed, rewritten
// in place; only when standard error is a console, so a log or a pipe never
// sees it. It is written as UTF-16, so the console shows every name whole.
#pragma once

#include "platform/audio_services.h"
#include "report/device_caps.h"

#include <cstddef>
#include <cstdint>
#include <string>

class ProgressLine {
public:
    ProgressLine();
    ~ProgressLine(); // erases the line
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // "probing output 3 of 5: NAME", for the device numbered `id` of `count`.
    void show(DeviceDirection direction, std::int32_t id, std::int32_t count,
              const DeviceCaps& caps);
    // "probing output endpoint: NAME", before an endpoint's first call.
    void showEndpoint(DeviceDirection direction, const std::u16string& name);
    // "opening output endpoint, format 3 of 8: NAME", after each format the
    // verify mode opens.
    void showOpening(DeviceDirection direction, const std::u16string& name, std::size_t tried,
                     std::size_t listed);
    void erase();

private:
    // The words, then the name as a console shows it.
    void showNamed(const char* words, const std::u16string& name);
    // Writes the line over the one shown before.
    void replaceLine(const char16_t* line, std::size_t length);

    bool enabled;
    std::size_t widest = 127; // console columns a line may take
    std::size_t shown = 0;    // console columns the line takes now
};
