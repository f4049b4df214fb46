// The queue between the service's callbacks and the thread that takes their
// records, both sides' own: any number of threads put, one thread takes.
// Putting takes no lock, never waits and never throws; a record that finds no
// memory is counted as lost, and so is one past the 65,536 records the queue
// holds at most, so that a storm of notifications cannot take all memory.
#pragma once

#include "platform/endpoint_watch.h"

#include <atomic>
#include <cstddef>

class NoticeQueue {
public:
    static constexpr unsigned long capacity = 65536;

    NoticeQueue() = default;
    ~NoticeQueue();
    NoticeQueue(const NoticeQueue&) = delete;
    NoticeQueue& operator=(const NoticeQueue&) = delete;

    // Queues `fields` with the `length` units of `id`.
    void put(const NoticeFields& fields, const char16_t* id, std::size_t length) noexcept;
    // The oldest record; false when there is none. On the taking thread only.
    bool take(EndpointNotice* notice) noexcept;
    NoticeCounts counts() const noexcept;

private:
    struct Node;
    std::atomic<Node*> arrived{nullptr};  // newest first, as the callbacks push them
    Node* oldest = nullptr;               // taken from `arrived`, oldest first
    std::atomic<unsigned long> queued{0}; // put and not yet taken
    std::atomic<unsigned long> heard{0};
    std::atomic<unsigned long> lost{0};
};
