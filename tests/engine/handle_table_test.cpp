// The handle table under both registries, on a four-slot table: a full table, reuse, retirement
// and a constructor that throws.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <stdexcept>

#include "handles/handle_table.h"

namespace {

using Table = zr48::handles::HandleTable<int, 2>;

std::uint32_t add(Table& table, int value) {
  return table.emplace([value](std::uint32_t) { return std::make_shared<int>(value); });
}

TEST(HandleTable, FullTableRefusesAndARetiredSlotComesBackUnderANewHandle) {
  static Table table;
  std::set<std::uint32_t> issued;
  for (int i = 0; i < 4; ++i) issued.insert(add(table, i));
  EXPECT_EQ(issued.size(), 4U);
  EXPECT_EQ(issued.count(0), 0U);
  EXPECT_EQ(add(table, 99), 0U);  // full

  const std::uint32_t first = *issued.begin();
  const int* object = table.acquire(first);
  ASSERT_NE(object, nullptr);
  ASSERT_TRUE(table.retire(first));
  EXPECT_FALSE(table.retire(first));
  EXPECT_EQ(table.acquire(first), nullptr);  // retired: no new references
  EXPECT_EQ(*object, *table.share(first));   // the caller's reference still holds it
  const std::shared_ptr<int> last = table.release(first);
  ASSERT_NE(last, nullptr);  // the last reference takes the object out
  EXPECT_EQ(last.get(), object);

  const std::uint32_t reused = add(table, 7);
  EXPECT_EQ(reused & 3U, first & 3U);
  EXPECT_NE(reused, first);
  EXPECT_EQ(table.acquire(first), nullptr);  // the stale handle stays invalid
  const Table::Ref ref(table, reused);
  ASSERT_TRUE(ref);
  EXPECT_EQ(*ref, 7);
}

TEST(HandleTable, AThrowingConstructorGivesTheSlotBack) {
  static Table table;
  for (int i = 0; i < 3; ++i) ASSERT_NE(add(table, i), 0U);
  EXPECT_THROW(
      table.emplace([](std::uint32_t) -> std::shared_ptr<int> { throw std::runtime_error("no"); }),
      std::runtime_error);
  EXPECT_NE(add(table, 3), 0U);
  EXPECT_EQ(add(table, 4), 0U);
}

}  // namespace
