// A locked, doubly linked list of untyped records, appended at the tail and found
// by a leading run of their bytes, and a cursor that walks a snapshot of it.
#pragma once

#include "platform/recursive_lock.h"

#include <cstdint>

struct ListNode {
    ListNode* prev;
    ListNode* next;
    std::uint32_t keyLength; // handed back by get and popFront; find does not use it
    void* data;              // the caller's record, never owned by the list
    // Rises with every append, so a cursor can tell a node appended after its
    // snapshot from one it saw, even when the new node reuses a freed address.
    std::uint64_t serial;
};

// The list owns its nodes, never the records they point at. Every operation but
// contains, headNode and size holds the lock; the lock is recursive because
// operations call each other while holding it.
class KeyedList {
public:
    KeyedList() = default;
    ~KeyedList(); // frees every node, leaves the records alone
    KeyedList(const KeyedList&) = delete;
    KeyedList& operator=(const KeyedList&) = delete;

    // The new node, or null when no memory could be had (nothing changes then).
    ListNode* append(std::uint32_t keyLength, void* data);
    bool contains(const ListNode* node) const;
    // True when the node was in the list and has been unlinked and freed.
    bool remove(ListNode* node);
    ListNode* headNode() const { return head; }
    ListNode* nextOf(const ListNode* node);
    // The first node whose record begins with the first `keyLength` bytes of `key`.
    ListNode* find(std::uint32_t keyLength, const void* key);
    // The node's key length and record, or 0 and null (and a null result) when
    // the node is not in the list.
    ListNode* get(ListNode* node, std::uint32_t* keyLength, void** data);
    // Unlinks the head and hands its record to the caller: 1, or 0 when empty.
    int popFront(std::uint32_t* keyLength, void** data);
    std::int32_t size() const { return count; }

private:
    friend class ListCursor;

    std::int32_t count = 0;
    ListNode* head = nullptr;
    ListNode* tail = nullptr;
    RecursiveLock lock;
    std::uint64_t appended = 0; // serial of the next node
};

// Walks the nodes a list had when the cursor was made. A node removed since is
// skipped, a node appended since is never seen. When the snapshot cannot be
// allocated the cursor is empty.
class ListCursor {
public:
    explicit ListCursor(KeyedList* walked);
    ~ListCursor();
    ListCursor(const ListCursor&) = delete;
    ListCursor& operator=(const ListCursor&) = delete;

    bool hasMore() const { return position + 1 < size; }
    // The next record whose node is still listed, or null past the end. A node
    // appended with a null record also gives null.
    void* next();
    std::int32_t length() const { return size; }

private:
    std::int32_t size = 0;
    std::int32_t position = -1;
    KeyedList* list;
    ListNode** items = nullptr;
    std::uint64_t snapshotEnd = 0; // serial of the first node appended after the snapshot
};
