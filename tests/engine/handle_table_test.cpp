// The handle table under both registries, on four slots: a full table, retirement, reuse and a
// constructor that throws.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "handles/handle_table.h"

namespace {

using Table = zr48::handles::HandleTable<int, 2>;

std::uint32_t Add(Table& table, int value) {
  return table.emplace([value](std::uint32_t) { return std::make_shared<int>(value); });
}

TEST(HandleTable, FullTableRefusesAndAFreedSlotComesBackUnderANewHandle) {
  static Table table;
  const std::uint32_t first = Add(table, 0);
  for (int i = 1; i < 4; ++i) EXPECT_NE(Add(table, i), 0U);
  EXPECT_EQ(Add(table, 99), 0U);  // full

  Table::Ref ref(table, first);
  ASSERT_TRUE(ref && table.retire(first));
  EXPECT_FALSE(table.retire(first));
  EXPECT_EQ(table.acquire(first), nullptr);  // retired: no new references
  EXPECT_EQ(Add(table, 99), 0U);             // the caller's reference still holds the slot
  EXPECT_NE(ref.reset(), nullptr);           // the last reference takes the object out

  const std::uint32_t reused = Add(table, 7);
  EXPECT_EQ(reused & 3U, first & 3U);
  EXPECT_NE(reused, first);
  EXPECT_EQ(table.acquire(first), nullptr);  // the stale handle stays invalid

  ASSERT_TRUE(table.acquire(reused) != nullptr && table.retire(reused));
  EXPECT_NE(table.release(reused), nullptr);
  EXPECT_THROW(table.emplace([](std::uint32_t) -> std::shared_ptr<int> { throw std::exception(); }),
               std::exception);
  EXPECT_NE(Add(table, 3), 0U);  // the throwing constructor gave its slot back
}

}  // namespace
