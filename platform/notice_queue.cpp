#include "platform/notice_queue.h"

#include "platform/allocation.h"

#include <new>

struct NoticeQueue::Node {
    Node* next = nullptr;
    NoticeFields fields;
    char16_t* id = nullptr;
    std::size_t length = 0;
};

NoticeQueue::~NoticeQueue() {
    EndpointNotice dropped;
    while (take(&dropped)) {
    }
}

void NoticeQueue::put(const NoticeFields& fields, const char16_t* id, std::size_t length) noexcept {
    heard.fetch_add(1);
    if (queued.fetch_add(1) >= capacity) {
        queued.fetch_sub(1);
        lost.fetch_add(1);
        return;
    }
    Node* node = allocateRecord<Node>();
    char16_t* copy = node != nullptr && length > 0 ? allocateArray<char16_t>(length) : nullptr;
    if (node == nullptr || (length > 0 && copy == nullptr)) {
        delete node;
        queued.fetch_sub(1);
        lost.fetch_add(1);
        return;
    }
    node->fields = fields;
    for (std::size_t i = 0; i < length; ++i)
        copy[i] = id[i];
    node->id = copy;
    node->length = length;
    // Pushed whole in one step: the taker either sees all of it or none.
    node->next = arrived.load(std::memory_order_relaxed);
    while (!arrived.compare_exchange_weak(node->next, node, std::memory_order_release,
                                          std::memory_order_relaxed)) {
    }
}

bool NoticeQueue::take(EndpointNotice* notice) noexcept {
    for (;;) {
        if (oldest == nullptr) {
            // Everything that arrived, newest first, turned oldest first.
            Node* newest = arrived.exchange(nullptr, std::memory_order_acquire);
            while (newest != nullptr) {
                Node* next = newest->next;
                newest->next = oldest;
                oldest = newest;
                newest = next;
            }
            if (oldest == nullptr)
                return false;
        }
        Node* node = oldest;
        oldest = node->next;
        queued.fetch_sub(1);
        bool copied = true;
        try {
            static_cast<NoticeFields&>(*notice) = node->fields;
            notice->id.assign(node->id, node->length);
        } catch (const std::bad_alloc&) {
            copied = false;
            lost.fetch_add(1);
        }
        delete[] node->id;
        delete node;
        if (copied)
            return true;
    }
}

NoticeCounts NoticeQueue::counts() const noexcept {
    NoticeCounts c;
    c.heard = heard.load();
    c.lost = lost.load();
    return c;
}
