// Short ways to furnish the simulated machine, and to put the program's global
// catalogue back to empty between runs.
#pragma once

#include "exclusive/format_matrix.h"
#include "platform/simulated_machine.h"

// A header with the average byte rate and block alignment a codec would give.
FormatHeader formatHeader(WORD tag, DWORD rate, WORD bits, WORD channels, WORD cbSize = 0);
FormatHeader pcm(DWORD rate, WORD bits, WORD channels);

simulated::Device device(const char* name, WORD wMid = 0, DWORD dwFormats = 0);

// Makes a codec offer the format, for input, output or both.
void offerFormat(const FormatHeader& header,
                 DWORD offeredFor = ACM_FORMATENUMF_INPUT | ACM_FORMATENUMF_OUTPUT);
void nameTag(WORD tag, const char* name);

// An active endpoint with a friendly name and a form factor, and nothing else.
simulated::Endpoint& addEndpoint(DeviceDirection direction, const std::u16string& id,
                                 const std::u16string& name, std::uint32_t formFactor = 1);

// Makes the device's driver name the endpoint.
void linkDevice(simulated::Device& device, const std::u16string& endpointId);

// A mix format as the service gives one: extensible, with its mask.
std::vector<unsigned char> mixFormatBytes(DWORD rate, unsigned channels, DWORD mask);

// A device that takes these types at these counts and rates, with the standard
// mask only.
simulated::ExclusiveProfile productProfile(std::vector<SampleType> types,
                                           std::vector<unsigned> channels,
                                           std::vector<DWORD> rates);

// A microphone and speakers that lead to their endpoints, an old output driver
// that names none, an HDMI endpoint no waveform device leads to, and headphones
// no longer present; the microphone is every input default, the speakers the
// console and multimedia output, the HDMI endpoint the communications output.
// The speakers also give their volume, effects, control-panel format, engine
// periods and three sessions: a program, the system sounds, and a process that
// cannot be opened. Behind them: the microphone on a USB devnode, in one
// container with the headphones, which reach no devnode; the speakers on an
// HD Audio codec with two effects, one of them registered; HDMI on the
// display's codec; Windows 10, its audio services running.
extern const std::u16string micEndpoint;
extern const std::u16string speakersEndpoint;
extern const std::u16string hdmiEndpoint;
extern const std::u16string headphonesEndpoint;
void furnishEndpointMachine();

// That machine and, no waveform device leading to them, Bluetooth headphones
// whose stereo half is one devnode and whose hands-free half, an input and an
// output, another; a virtual cable; USB speakers whose device cannot start.
void furnishHardwareMachine();

// Empties both catalogue lists and frees their records.
void emptyCatalogue();

// An empty machine, no faults, an empty catalogue.
void resetEverything();
