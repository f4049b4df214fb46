#include "catalogue/format_catalogue.h"

#include "platform/allocation.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

// formatTagNames is made first and torn down last.
KeyedList formatTagNames;
KeyedList knownFormats;

namespace {

// Asks the manager for a tag's display name once, and keeps it.
void rememberTagName(WORD tag) {
    if (formatTagNames.find(sizeof tag, &tag) != nullptr)
        return;
    ACMFORMATTAGDETAILSA tagDetails;
    std::memset(&tagDetails, 0, sizeof tagDetails);
    tagDetails.cbStruct = sizeof tagDetails;
    tagDetails.dwFormatTag = tag;
    if (acmFormatTagDetailsA(nullptr, &tagDetails, ACM_FORMATTAGDETAILSF_FORMATTAG) !=
        MMSYSERR_NOERROR)
        return; // asked again at the tag's next format
    FormatTagEntry* entry = allocateRecord<FormatTagEntry>();
    if (entry == nullptr)
        return;
    entry->formatTag = tag;
    // A codec may fill the whole field without a terminator.
    std::memcpy(entry->name, tagDetails.szFormatTag, sizeof tagDetails.szFormatTag);
    entry->name[sizeof tagDetails.szFormatTag] = '\0';
    if (formatTagNames.append(sizeof entry->formatTag, entry) == nullptr)
        delete entry;
}

int compareFormatRecords(const void* a, const void* b) {
    return compareFormats(**static_cast<FormatHeader* const*>(a),
                          **static_cast<FormatHeader* const*>(b));
}

template <class T> int compareField(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

BOOL CALLBACK onCodecFormat(HACMDRIVERID, LPACMFORMATDETAILSA details, DWORD_PTR, DWORD) {
    if (details == nullptr || details->pwfx == nullptr)
        return TRUE;
    FormatHeader* reported = details->pwfx;
    rememberTagName(reported->wFormatTag);
    // Formats that differ only in their extra bytes are one entry.
    reported->cbSize = 0;
    if (knownFormats.find(sizeof(FormatHeader), reported) != nullptr)
        return TRUE;
    FormatHeader* record = allocateRecord<FormatHeader>();
    if (record == nullptr)
        return TRUE;
    std::memcpy(record, reported, sizeof(FormatHeader));
    if (knownFormats.append(sizeof(FormatHeader), record) == nullptr)
        delete record;
    return TRUE;
}

void collectCodecFormats() {
    DWORD largest = 0;
    acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &largest); // a failure leaves 0

    // The manager refuses the whole enumeration when told of a buffer smaller
    // than its largest format, so it is told the size of the buffer really
    // given, never less than the stack buffer's, whatever its metric said.
    // Codecs' formats fit the stack buffer; a larger size, up to a header with
    // the most extra bytes its cbSize can count, comes from the heap, and when
    // that cannot be had the stack buffer is offered all the same.
    constexpr DWORD largestPossible = sizeof(FormatHeader) + 0xFFFF;
    alignas(8) unsigned char local[1024];
    const DWORD wanted = largest < largestPossible ? largest : largestPossible;
    unsigned char* heap = wanted > sizeof local ? allocateArray<unsigned char>(wanted) : nullptr;
    unsigned char* buffer = heap != nullptr ? heap : local;
    const DWORD size = heap != nullptr ? wanted : static_cast<DWORD>(sizeof local);
    std::memset(buffer, 0, sizeof(FormatHeader));

    ACMFORMATDETAILSA details;
    std::memset(&details, 0, sizeof details);
    details.cbStruct = sizeof details;
    details.pwfx = reinterpret_cast<LPWAVEFORMATEX>(buffer);
    details.cbwfx = size;
    details.dwFormatTag = 0; // all tags
    acmFormatEnumA(nullptr, &details, onCodecFormat, 0, ACM_FORMATENUMF_INPUT);

    // The first enumeration leaves its last answers in the record, and the
    // manager refuses a record that still carries them.
    details.dwFormatTag = 0;
    details.fdwSupport = 0;
    details.dwFormatIndex = 0;
    acmFormatEnumA(nullptr, &details, onCodecFormat, 0, ACM_FORMATENUMF_OUTPUT);

    delete[] heap;
}

void sortKnownFormats() {
    ListCursor cursor(&knownFormats);
    const std::int32_t listed = cursor.length();
    if (listed == 0)
        return;
    FormatHeader** order = allocateArray<FormatHeader*>(static_cast<std::size_t>(listed));
    if (order == nullptr)
        return; // the catalogue stays as it is, unsorted
    std::int32_t records = 0;
    while (cursor.hasMore())
        if (void* record = cursor.next())
            order[records++] = static_cast<FormatHeader*>(record);
    std::qsort(order, static_cast<std::size_t>(records), sizeof *order, compareFormatRecords);

    // Link the sorted records behind the old nodes before dropping those, so a
    // node that cannot be had leaves the catalogue whole.
    ListNode* firstSorted = nullptr;
    std::int32_t linked = 0;
    for (; linked < records; ++linked) {
        ListNode* node = knownFormats.append(sizeof(FormatHeader), order[linked]);
        if (node == nullptr)
            break;
        if (firstSorted == nullptr)
            firstSorted = node;
    }
    if (linked < records) {
        while (firstSorted != nullptr) {
            ListNode* next = knownFormats.nextOf(firstSorted);
            knownFormats.remove(firstSorted);
            firstSorted = next;
        }
    } else {
        std::uint32_t keyLength;
        void* record;
        for (std::int32_t i = 0; i < listed; ++i)
            knownFormats.popFront(&keyLength, &record);
    }
    delete[] order;
}

int compareFormats(const FormatHeader& a, const FormatHeader& b) {
    if (int c = compareField<unsigned>(a.wFormatTag, b.wFormatTag))
        return c;
    if (int c = compareField<std::uint32_t>(a.nSamplesPerSec, b.nSamplesPerSec))
        return c;
    if (int c = compareField<unsigned>(a.wBitsPerSample, b.wBitsPerSample))
        return c;
    return compareField<unsigned>(a.nChannels, b.nChannels);
}

const char* findFormatTagName(WORD tag) {
    ListNode* node = formatTagNames.find(sizeof tag, &tag);
    std::uint32_t keyLength;
    void* entry;
    if (node == nullptr || formatTagNames.get(node, &keyLength, &entry) == nullptr ||
        entry == nullptr)
        return nullptr;
    return static_cast<const FormatTagEntry*>(entry)->name;
}

const char* formatTagName(WORD tag) {
    const char* name = findFormatTagName(tag);
    return name != nullptr ? name : "???";
}
