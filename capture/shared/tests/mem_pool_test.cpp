#include "shared/mem_pool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <thread>
#include <vector>

namespace {

using lessonry::CMemPool;

std::vector<uint8_t> bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

TEST(CMemPool, AFullBlockIsRefusedWholeAndReadsCrossTheWrapInOrder) {
  CMemPool pool(10);
  // Move both positions to 5 so that the following blocks wrap.
  ASSERT_EQ(pool.Write(bytes({9, 9, 9, 9, 9}).data(), 5), 5u);
  ASSERT_EQ(pool.Read(nullptr, 5), 5u);

  ASSERT_EQ(pool.Write(bytes({1, 2, 3, 4, 5, 6, 7, 8}).data(), 8), 8u);
  EXPECT_EQ(pool.freeSpace(), 2u);
  EXPECT_EQ(pool.Write(bytes({100, 101, 102}).data(), 3), 0u);  // too big: nothing written
  EXPECT_EQ(pool.used(), 8u);
  EXPECT_EQ(pool.Write(bytes({9, 10}).data(), 2), 2u);
  EXPECT_EQ(pool.freeSpace(), 0u);

  std::vector<uint8_t> out(20, 0xEE);
  EXPECT_EQ(pool.Read(out.data(), 20), 10u);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 10), bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(out[10], 0xEE);  // nothing beyond what was there
  EXPECT_EQ(pool.used(), 0u);
  EXPECT_EQ(pool.Read(out.data(), 1), 0u);
}

TEST(CMemPool, PeekShowsWhatReadThenTakes) {
  CMemPool pool(8);
  ASSERT_EQ(pool.Write(bytes({1, 2, 3, 4, 5, 6}).data(), 6), 6u);
  ASSERT_EQ(pool.Read(nullptr, 4), 4u);
  ASSERT_EQ(pool.Write(bytes({7, 8, 9, 10}).data(), 4), 4u);  // wraps
  std::vector<uint8_t> peeked(6), read(6);
  EXPECT_EQ(pool.Peek(peeked.data(), 5), 5u);
  EXPECT_EQ(pool.used(), 6u);
  EXPECT_EQ(pool.Read(read.data(), 5), 5u);
  EXPECT_EQ(peeked, read);
  EXPECT_EQ(std::vector<uint8_t>(read.begin(), read.begin() + 5), bytes({5, 6, 7, 8, 9}));
  EXPECT_EQ(pool.Peek(nullptr, 10), 1u);
}

TEST(CMemPool, AbsentBuffersStillTakeAndGiveSpaceAndResetZeroFills) {
  CMemPool pool(6);
  ASSERT_EQ(pool.Write(bytes({1, 2, 3, 4}).data(), 4), 4u);
  EXPECT_EQ(pool.Write(nullptr, 2), 2u);  // space taken, nothing copied
  EXPECT_EQ(pool.used(), 6u);
  EXPECT_EQ(pool.Read(nullptr, 3), 3u);  // dropped
  uint8_t one = 0;
  EXPECT_EQ(pool.Read(&one, 1), 1u);
  EXPECT_EQ(one, 4);
  EXPECT_EQ(pool.Write(nullptr, 0), 0u);

  EXPECT_EQ(pool.Reset(), 2u);
  EXPECT_EQ(pool.used(), 0u);
  EXPECT_EQ(pool.Write(nullptr, 6), 6u);
  std::vector<uint8_t> out(6, 0xEE);
  EXPECT_EQ(pool.Read(out.data(), 6), 6u);
  EXPECT_EQ(out, std::vector<uint8_t>(6, 0));
}

TEST(CMemPool, GrowRoundsUpAndKeepsTheUnreadBytesInOrder) {
  const struct {
    uint32_t extra, rounded;
  } rounding[] = {{0, 0}, {1, 262144}, {262144, 262144}, {262145, 524288}};
  for (const auto& r : rounding) {
    CMemPool pool(16);
    EXPECT_EQ(pool.Grow(r.extra), r.rounded) << r.extra;
    EXPECT_EQ(pool.capacity(), 16u + r.rounded) << r.extra;
  }

  constexpr uint32_t kTwoMegabytes = 2 * 1024 * 1024;
  CMemPool pool(kTwoMegabytes);
  std::vector<uint8_t> block(kTwoMegabytes - 100);
  std::iota(block.begin(), block.end(), uint8_t{0});
  ASSERT_EQ(pool.Write(block.data(), static_cast<uint32_t>(block.size())), block.size());
  ASSERT_EQ(pool.Read(nullptr, 1000), 1000u);
  ASSERT_EQ(pool.Write(block.data(), 1000), 1000u);  // wraps around the end
  const uint32_t unread = pool.used();

  EXPECT_EQ(pool.Grow(1), 262144u);
  EXPECT_EQ(pool.capacity(), kTwoMegabytes + 262144u);
  EXPECT_EQ(pool.used(), unread);
  std::vector<uint8_t> out(unread);
  ASSERT_EQ(pool.Read(out.data(), unread), unread);
  EXPECT_TRUE(std::equal(block.begin() + 1000, block.end(), out.begin()));
  EXPECT_TRUE(std::equal(block.begin(), block.begin() + 1000, out.end() - 1000));
  EXPECT_EQ(pool.Write(block.data(), 262144 + 100), 262144u + 100);  // the new room is usable

  // A capacity that would not fit in 32 bits changes nothing.
  EXPECT_EQ(pool.Grow(UINT32_MAX), 0u);
  EXPECT_EQ(pool.capacity(), kTwoMegabytes + 262144u);
}

TEST(CMemPool, TheCallerHoldsTheLockAcrossSeveralOperations) {
  CMemPool pool(64);
  const uint32_t header = 3;
  ASSERT_EQ(pool.Write(&header, sizeof header), sizeof header);
  ASSERT_EQ(pool.Write("abc", 3), 3u);
  pool.lock();  // re-entrant: the operations inside take it again
  uint32_t size = 0;
  ASSERT_EQ(pool.Peek(&size, sizeof size), sizeof size);
  ASSERT_GE(pool.used(), sizeof size + size);
  pool.Read(nullptr, sizeof size);
  char text[4] = {};
  EXPECT_EQ(pool.Read(text, size), 3u);
  pool.unlock();
  EXPECT_STREQ(text, "abc");
}

TEST(CMemPool, OneWriterAndOneReaderOnTwoThreadsKeepTheStreamInOrder) {
  CMemPool pool(1000);
  constexpr uint32_t kCount = 50000;
  std::thread writer([&] {
    for (uint32_t i = 0; i < kCount;) {
      if (pool.Write(&i, sizeof i) == sizeof i)
        ++i;
      else
        std::this_thread::yield();
    }
  });
  uint32_t expected = 0;
  bool inOrder = true;
  while (expected < kCount) {
    uint32_t value = 0;
    if (pool.Read(&value, sizeof value) == sizeof value) {
      inOrder = inOrder && value == expected;
      ++expected;
    } else {
      std::this_thread::yield();
    }
  }
  writer.join();
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(pool.used(), 0u);
}

}  // namespace
