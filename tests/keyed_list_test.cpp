#include "container/keyed_list.h"

#include "support/simulated_test.h"

#include <cstring>

namespace {

struct Record {
    char key[4];
    int value;
};

class KeyedListTest : public SimulatedTest {
protected:
    Record a{{'a', 'a', 'x', 0}, 1};
    Record b{{'a', 'b', 'x', 0}, 2};
    Record c{{'a', 'b', 'y', 0}, 3};

    static std::vector<void*> walk(KeyedList* list) {
        std::vector<void*> seen;
        ListCursor cursor(list);
        while (cursor.hasMore())
            seen.push_back(cursor.next());
        return seen;
    }
};

TEST_F(KeyedListTest, FindComparesLeadingBytesAndSkipsEmptyRecords) {
    KeyedList list;
    list.append(0, nullptr);
    ListNode* na = list.append(3, &a);
    ListNode* nb = list.append(3, &b);
    ListNode* nc = list.append(3, &c);
    const struct {
        std::uint32_t length;
        const char* key;
        ListNode* found;
    } cases[] = {
        {0, "", na}, // the first node that has a record
        {1, "a", na}, {2, "ab", nb}, {3, "aby", nc}, {3, "abz", nullptr}, {1, "z", nullptr},
    };
    for (const auto& k : cases)
        EXPECT_EQ(k.found, list.find(k.length, k.key)) << k.key;
    EXPECT_EQ(4, list.size());
}

TEST_F(KeyedListTest, RemoveUnlinksOnceAndKeepsTheEndsRight) {
    KeyedList list;
    ListNode* na = list.append(1, &a);
    ListNode* nb = list.append(2, &b);
    ListNode* nc = list.append(3, &c);
    EXPECT_TRUE(list.remove(nb));
    EXPECT_FALSE(list.remove(nb));
    EXPECT_FALSE(list.remove(nullptr));
    EXPECT_EQ(nc, list.nextOf(na));
    EXPECT_EQ(nullptr, list.nextOf(nb)); // no longer listed: never dereferenced
    EXPECT_TRUE(list.remove(nc));        // the tail
    ListNode* nd = list.append(4, &c);   // goes after the new tail
    EXPECT_EQ(nd, list.nextOf(na));
    EXPECT_TRUE(list.remove(na)); // the head
    EXPECT_EQ(nd, list.headNode());
    EXPECT_EQ(1, list.size());

    std::uint32_t length = 99;
    void* data = &a;
    EXPECT_EQ(nullptr, list.get(na, &length, &data));
    EXPECT_EQ(0u, length);
    EXPECT_EQ(nullptr, data);
    EXPECT_EQ(nd, list.get(nd, &length, &data));
    EXPECT_EQ(4u, length);
    EXPECT_EQ(&c, data);
}

TEST_F(KeyedListTest, PopFrontHandsRecordsBackInOrder) {
    KeyedList list;
    list.append(7, &a);
    list.append(8, &b);
    std::uint32_t length;
    void* data;
    EXPECT_EQ(1, list.popFront(&length, &data));
    EXPECT_EQ(7u, length);
    EXPECT_EQ(&a, data);
    EXPECT_EQ(1, list.popFront(&length, &data));
    EXPECT_EQ(&b, data);
    length = 5;
    data = &c;
    EXPECT_EQ(0, list.popFront(&length, &data));
    EXPECT_EQ(0u, length);
    EXPECT_EQ(nullptr, data);
    EXPECT_EQ(nullptr, list.headNode());
    EXPECT_EQ(0, list.size());
}

TEST_F(KeyedListTest, CursorWalksTheSnapshot) {
    KeyedList list;
    EXPECT_TRUE(walk(&list).empty());
    EXPECT_TRUE(walk(nullptr).empty());
    ListCursor none(nullptr);
    EXPECT_EQ(nullptr, none.next());

    list.append(1, &a);
    ListNode* nb = list.append(1, &b);
    list.append(1, &c);
    ListCursor cursor(&list);
    list.remove(nb);    // removed after the snapshot: skipped
    list.append(1, &b); // appended after it: never seen
    std::vector<void*> seen;
    while (cursor.hasMore())
        seen.push_back(cursor.next());
    EXPECT_EQ((std::vector<void*>{&a, &c}), seen);
    // reading past the end stays at the end
    EXPECT_EQ(nullptr, cursor.next());
    EXPECT_EQ(nullptr, cursor.next());
    EXPECT_EQ(nullptr, cursor.next());
    EXPECT_FALSE(cursor.hasMore());
}

TEST_F(KeyedListTest, CursorNeverSeesANodeAppendedAfterItsSnapshot) {
    // nothing is removed, so no new node can take the address of an old one
    Record* records[] = {&a, &b, &c};
    for (std::size_t listed = 0; listed <= std::size(records); ++listed) {
        KeyedList list;
        for (std::size_t i = 0; i < listed; ++i)
            list.append(1, records[i]);
        ListCursor cursor(&list);
        Record late{{'z', 0, 0, 0}, 9};
        list.append(1, &late); // before the walk
        std::vector<void*> seen;
        // bounded, so a cursor that follows the growing list fails, not hangs
        while (cursor.hasMore() && seen.size() <= listed) {
            seen.push_back(cursor.next());
            list.append(1, &late); // and during it
        }
        EXPECT_FALSE(cursor.hasMore()) << listed;
        EXPECT_EQ(std::vector<void*>(records, records + listed), seen) << listed;
        EXPECT_EQ(static_cast<std::int32_t>(listed), cursor.length());
        EXPECT_EQ(nullptr, cursor.next());
        EXPECT_EQ(static_cast<std::int32_t>(2 * listed + 1), list.size());
    }
}

TEST_F(KeyedListTest, CursorGivesNullForANodeWithNoRecord) {
    KeyedList list;
    list.append(0, nullptr);
    list.append(1, &a);
    EXPECT_EQ((std::vector<void*>{nullptr, &a}), walk(&list));
}

TEST_F(KeyedListTest, DestroyingTheListLeavesRecordsAlone) {
    Record* kept = new Record{{'k', 0, 0, 0}, 42};
    {
        KeyedList list;
        list.append(sizeof *kept, kept);
        list.append(sizeof *kept, kept);
    }
    EXPECT_EQ(42, kept->value);
    delete kept;
}

TEST_F(KeyedListTest, NoMemoryForANodeOrASnapshot) {
    KeyedList list;
    list.append(1, &a);
    simulated::failAllocation(1);
    EXPECT_EQ(nullptr, list.append(1, &b));
    EXPECT_EQ(1, list.size());
    EXPECT_NE(nullptr, list.append(1, &c));
    EXPECT_EQ((std::vector<void*>{&a, &c}), walk(&list));

    simulated::failAllocation(1);
    ListCursor cursor(&list);
    EXPECT_EQ(0, cursor.length());
    EXPECT_FALSE(cursor.hasMore());
    EXPECT_EQ(nullptr, cursor.next());
}

} // namespace
