#include "container/keyed_list.h"

#include "platform/allocation.h"

#include <cstring>

KeyedList::~KeyedList() {
    std::uint32_t keyLength;
    void* data;
    while (popFront(&keyLength, &data)) {
    }
}

ListNode* KeyedList::append(std::uint32_t keyLength, void* data) {
    LockHolder held(lock);
    ListNode* node = allocateRecord<ListNode>();
    if (node == nullptr)
        return nullptr;
    node->prev = tail;
    node->next = nullptr;
    node->keyLength = keyLength;
    node->data = data;
    node->serial = appended++;
    if (tail != nullptr)
        tail->next = node;
    else
        head = node;
    tail = node;
    ++count;
    return node;
}

bool KeyedList::contains(const ListNode* node) const {
    for (const ListNode* n = head; n != nullptr; n = n->next)
        if (n == node)
            return true;
    return false;
}

bool KeyedList::remove(ListNode* node) {
    LockHolder held(lock);
    if (node == nullptr || !contains(node))
        return false;
    if (node->prev != nullptr)
        node->prev->next = node->next;
    else
        head = node->next;
    if (node->next != nullptr)
        node->next->prev = node->prev;
    else
        tail = node->prev;
    delete node;
    --count;
    return true;
}

ListNode* KeyedList::nextOf(const ListNode* node) {
    LockHolder held(lock);
    if (node == nullptr || !contains(node))
        return nullptr;
    return node->next;
}

ListNode* KeyedList::find(std::uint32_t keyLength, const void* key) {
    LockHolder held(lock);
    for (ListNode* n = head; n != nullptr; n = n->next)
        if (n->data != nullptr && std::memcmp(n->data, key, keyLength) == 0)
            return n;
    return nullptr;
}

ListNode* KeyedList::get(ListNode* node, std::uint32_t* keyLength, void** data) {
    LockHolder held(lock);
    if (node == nullptr || !contains(node)) {
        *keyLength = 0;
        *data = nullptr;
        return nullptr;
    }
    *keyLength = node->keyLength;
    *data = node->data;
    return node;
}

int KeyedList::popFront(std::uint32_t* keyLength, void** data) {
    *keyLength = 0;
    *data = nullptr;
    LockHolder held(lock);
    if (head == nullptr)
        return 0;
    ListNode* first = head;
    get(first, keyLength, data);
    remove(first);
    return 1;
}

ListCursor::ListCursor(KeyedList* walked) : list(walked) {
    if (list == nullptr)
        return;
    LockHolder held(list->lock);
    if (list->size() <= 0)
        return;
    items = allocateArray<ListNode*>(static_cast<std::size_t>(list->size()));
    if (items == nullptr)
        return; // no snapshot: a walk with nothing in it
    size = list->size();
    snapshotEnd = list->appended;
    items[0] = list->headNode();
    for (std::int32_t i = 1; i < size; ++i)
        items[i] = list->nextOf(items[i - 1]);
}

ListCursor::~ListCursor() {
    delete[] items;
}

void* ListCursor::next() {
    // position never passes size, so asking again at the end stays at the end.
    while (position < size) {
        ++position;
        if (position == size)
            break;
        ListNode* node = items[position];
        std::uint32_t keyLength;
        void* data;
        // A listed node is live, so its serial can be read.
        if (list->contains(node) && node->serial < snapshotEnd &&
            list->get(node, &keyLength, &data) != nullptr)
            return data;
    }
    return nullptr;
}
