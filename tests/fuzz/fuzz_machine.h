// What the fuzzers that build whole simulated machines share: the machine read
// from the input, endpoints and their exclusive-mode answers included, and what
// any report must say of it. The checks here work from the machine alone, with
// conversions of their own, so that they do not agree with the program merely
// by calling it.
//
// The input, read front to back (zeros past its end):
//   formats:   count % 65, then per format a kind byte and its fields
//   tags:      count % 17, then per tag a kind byte, the tag, a name
//   metric:    a code byte and its value
//   faults:    input and output enumeration faults, a byte (and a count) each
//   inputs:    count % 9, then per device its fields; then the reported count
//   outputs:   the same
//   memory:    a byte, and when odd the allocation that fails (with bit 1:
//              and every one after it)
//   service:   COM set-up (% 8: 1 S_FALSE, 2 RPC_E_CHANGED_MODE, 3 a failure,
//              else S_OK), then the enumerator, endpoint list and defaults
//              results (odd: a failure), a byte each and a code byte for a failure
//   endpoints: count % 9, then per endpoint
//                a kind byte: bits 0-1 the id (made up, made up, UTF-16 text, an
//                  earlier endpoint's), bit 2 input, bit 3 inactive, bits 4-7
//                  whether an open, property store, activate and mix result
//                  follow (S_OK otherwise)
//                friendly name, adapter name: a result byte (% 8: 1 E_NOTFOUND,
//                  2 DISP_E_TYPEMISMATCH, 3 a failure, else S_OK), and for S_OK
//                  the text: a length byte (% 48, or from 0xF0 a long one), then
//                  per character a class byte and for some classes its value:
//                  ASCII, specials (quotes, backslash, controls, line breaks,
//                  BOM, noncharacters), Latin-1, Windows-1252's extras, CJK,
//                  surrogate pairs, lone surrogates, any unit but NUL
//                form factor: a result byte as for a name, and a value byte
//                the mix format: a kind byte (% 8: extensible float, extensible
//                  of a sample type, plain header, cut short, cbSize lying,
//                  unknown subformat, odd channel count from 0 to 65535, raw
//                  bytes), channels, rate, mask and the kind's own bytes; past
//                  two endpoints a count over 8 is cut, which keeps a run quick
//                the exclusive profile: a kind byte (% 8: 0 none, 1-2 types x
//                  counts x rates with a shape rule, 3 the same per type, 4 with
//                  a few cells turned over, 5 a hash of the format, 6 every
//                  sound format, 7 everything), its sets, a refusal code byte,
//                  and a stop byte (odd: after how many questions, with what)
//   defaults:  per direction and role a byte: 0 none, 0xFF an unknown id, else
//              which endpoint's id
//   links:     per waveform device, inputs then outputs, a byte (% 4: 0 the
//              driver does not know the message, 2 another failure, else ok)
//              and for ok which id: an endpoint's (mostly of the device's own
//              direction), an unknown one, or an empty one
//   (fuzz_json's console byte)
//   conditions: per endpoint a flags byte and in order what its bits add: an inactive one's
//              state, a failure to read it, the service's id in swapped case, system effects,
//              the panel format, periods and volume, sessions and their processes; a reading
//              is a result byte (% 8, E_ACCESSDENIED among them) and a byte or so per value
//   hang:      a byte, % 32 == 31 for a hang: which endpoint, which of its calls
//   hardware:  the container list's result byte; devnodes (count % 6, each a kind
//              byte, then its texts, hardware ids, date and problem, each a result
//              byte and its value, and its service's file); per endpoint a byte for
//              its adapter and effects and one for its container, and what they add
//   opens:     per endpoint a byte: how opening a stream answers (fuzz_machine.cpp)
//   watch:     a byte whose bits 0-2 refuse the registrations for device events,
//              volume and sessions (each then a code byte), then a count % 17 of
//              happenings: per happening a kind byte (% 9 the notice; bit 4 a
//              change to the machine first, bit 5 a burst, then a count byte, bit
//              6 Ctrl+C after it, bit 7 no memory for the first record), a time
//              byte (x 10 ms), which endpoint (0xFF an id nobody knows) and the
//              notice's own bytes: a state, a role, a key, a level, a session
// An input without the endpoint part (the older seeds) is a machine whose
// drivers name no endpoint.
#pragma once

#include "exclusive/format_matrix.h"
#include "platform/simulated_machine.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace fuzz {

[[noreturn]] void fail(const std::string& what);
void expect(bool holds, const std::string& what);
// The same, with the description made only when the check fails.
template <class Describe, class = decltype(std::declval<Describe>()())>
void expect(bool holds, Describe&& describe) {
    if (!holds)
        fail(describe());
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    // Little-endian; each read is its own statement, so the order is fixed.
    std::uint16_t word() {
        const unsigned low = byte();
        return static_cast<std::uint16_t>(low | byte() << 8);
    }
    std::uint32_t dword() {
        const std::uint32_t low = word();
        return low | static_cast<std::uint32_t>(word()) << 16;
    }
    template <std::size_t N> void text(char (&field)[N]) {
        const std::size_t length = byte() % (N + 1);
        for (std::size_t i = 0; i < N; ++i)
            field[i] = i < length ? static_cast<char>(byte()) : '\0';
    }
    template <class T, std::size_t N> T pick(const T (&choices)[N]) { return choices[byte() % N]; }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

struct MemoryFault {
    bool fails = false;
    unsigned long allocation = 0; // 1: the next one
    bool persistent = false;
};

// The whole machine, in input order: codec formats and tags, the size metric,
// enumeration faults, the devices; the memory fault, which it hands back for the
// caller to arm; the endpoint service, its endpoints, the defaults and each
// driver's endpoint id.
MemoryFault readMachine(Input& in, simulated::Machine& m);
// The part after a target's own bytes. A hang: an endpoint, its n-th call (1: its opening).
using Hang = std::pair<std::size_t, unsigned long>;
std::optional<Hang> readEndpointConditions(Input& in, simulated::Machine& m);

// The watch's registrations and the script of its notification source, last.
void readNotifications(Input& in, simulated::Machine& m);
// What every watch run must leave: nothing registered, no call from a callback,
// COM and every endpoint as they were. Lets hanging calls go first.
void expectWatchLeftNothing(const std::string& where);

// The device numbers a section lists: from 0 without holes, a count read as
// negative lists nothing, and the first unknown number ends the list.
std::vector<long> listedIds(const std::vector<simulated::Device>& devices,
                            const std::optional<UINT>& reported);

// Driver text as the text report shows it: up to the first NUL, control bytes as '?'.
std::string shown(const char* text, std::size_t limit);

// The catalogue's records, in its order.
std::vector<FormatHeader> catalogueFormats();

bool accepts(const simulated::Device& d, const FormatHeader& h);

// How many catalogue formats the device is asked: all, or up to the first it
// refuses as a device that is no longer there.
std::size_t askedOf(const simulated::Device& d, const std::vector<FormatHeader>& known);

// Text conversions to UTF-8: Windows-1252 bytes up to a NUL or `limit` (the
// simulated machine's code page), Latin-1, and UTF-16 (a lone surrogate as U+FFFD).
std::string utf8OfAnsi(const char* text, std::size_t limit);
std::string utf8OfLatin1(const char* text);
std::string utf8Of(const std::u16string& text);

// UTF-16 text as the text report shows it: in Windows-1252, a character it
// lacks as '?', control bytes as '?'.
std::string ansiShown(const std::u16string& text);

// Where the endpoints must show up in a report that looks them up.
struct SectionEndpoints {
    std::vector<std::optional<std::size_t>> devices; // per listed device: its endpoint, if any
    std::vector<std::size_t> unmatched;              // the endpoints listed after the devices
    // The exclusive mode's endpoints not present, counted: none when the
    // service cannot list them.
    std::optional<std::size_t> notPresent;
};
struct EndpointExpectations {
    SectionEndpoints sections[2]; // inputs, outputs
    std::vector<int> probes;      // per endpoint: how often the exclusive mode asks it
    std::optional<Hang> hang;     // kept where its calls can be counted: shown once
    std::u16string hangAsked;     // the id that endpoint is asked by
    bool hangReached = false;     // known after the run
};
// The exclusive mode lists endpoints in every state but not present, which it
// counts unless it lists every endpoint; the others list the active ones.
EndpointExpectations expectEndpoints(const simulated::Machine& m, bool exclusive = false,
                                     std::optional<Hang> hang = std::nullopt,
                                     bool everyEndpoint = false);
// Arm the hang and a short call limit; then check it cost one limit and no later call.
std::chrono::steady_clock::time_point armHang(simulated::Machine& live,
                                              const EndpointExpectations& expected);
void checkHang(const simulated::Machine& live, EndpointExpectations& expected,
               std::chrono::steady_clock::time_point start);

// An endpoint's identity as a report must give it; unset what cannot be read.
struct EndpointView {
    std::u16string id;
    std::optional<std::u16string> name;
    std::optional<std::u16string> adapter;
    std::optional<std::uint32_t> formFactor;
    std::optional<std::array<bool, endpointRoleCount>> defaultFor;
    // The exclusive mode's: the state (-1 unknown; active, disabled, not present, unplugged), a
    // hang reached, which readings are known (mix: expectedMix's), how many sessions.
    int state = -1;
    bool active = true, hung = false, deviceFormat = false, enhancements = false, volume = false,
         devicePeriods = false, enginePeriods = false, mix = false;
    std::optional<std::size_t> sessions;
    // The hardware, in the exclusive mode: an adapter reached, its devnode located, the Problem
    // line (-1 none, 0 unknown, 1 a code), Bluetooth, the effects and container with the number
    // of effects and of other endpoints in it.
    bool adapterReached = false, located = false, bluetooth = false;
    int problem = 0;
    std::optional<std::size_t> effects;
    std::optional<std::u16string> containerId;
    std::size_t sameDevice = 0;
};
EndpointView expectedView(const simulated::Machine& m, const EndpointExpectations& expected,
                          std::size_t endpoint, DeviceDirection direction);

const char* formFactorWord(std::uint32_t formFactor);
extern const char* const roleWords[endpointRoleCount];

// The shared-mode format (or the panel's) a report must give; none when it cannot be read.
struct MixView {
    std::optional<SampleType> sample;
    DWORD rate = 0;
    unsigned channels = 0;
    std::optional<DWORD> channelMask; // none for a plain header
};
std::optional<MixView> expectedMix(const simulated::Endpoint& e, bool panel = false);

const char* sampleWord(SampleType type);
std::optional<SampleType> sampleOfWord(const std::string& word);

// One (type, channels, rate, shape) a report says the device takes in exclusive mode.
struct Claim {
    SampleType sample;
    unsigned channels;
    DWORD rate;
    bool extensible;
    DWORD channelMask; // 0 for a plain header
    bool operator==(const Claim& o) const;
};
struct ClaimHash {
    std::size_t operator()(const Claim& c) const;
};
using ClaimSet = std::unordered_set<Claim, ClaimHash>;
std::string describe(const Claim& c);

// The usual mask for a channel count, as a report leaves unsaid.
DWORD usualMask(unsigned channels);

// The cell a format asks for, read as a driver reads it.
std::optional<Claim> claimOf(const WAVEFORMATEX* format);

// Forgets what the endpoints were asked; call before the run that probes.
void clearProbeLogs();

// Checks one endpoint's exclusive findings as a report gives them: every format
// claimed was asked and taken; for an endpoint probed once, the status is what
// its answers call for, no question came after one that ends the probe, none
// was asked twice, and where the device keeps the probe's assumptions the
// findings are exactly brute force's; a status known before any question is that, none asked.
void checkExclusive(const simulated::Machine& m, const EndpointExpectations& expected,
                    std::size_t endpoint, const std::string& status,
                    const std::vector<Claim>& claims, const std::string& where);

} // namespace fuzz
