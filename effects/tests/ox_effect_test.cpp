// The exported C interface: record layouts, failure reporting through the
// last-error text and a trace line, and bad arguments that must not crash.
#include "ox_effect.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <thread>

#include "base/trace.h"
#include "test_pictures.h"

namespace {

using lessonry::effect::testing::TestPicture;

TEST(OxEffectAbi, RecordLayouts) {
  static_assert(sizeof(ComposeItem) == 3 * sizeof(void*));
  static_assert(offsetof(ComposeItem, format) == 0);
  static_assert(offsetof(ComposeItem, bits) == sizeof(void*));
  static_assert(offsetof(ComposeItem, reserved) == 2 * sizeof(void*));
  static_assert(offsetof(ComposeRectItem, left) == 0 && offsetof(ComposeRectItem, top) == 4);
  static_assert(offsetof(ComposeRectItem, right) == 8 && offsetof(ComposeRectItem, bottom) == 12);
  static_assert(offsetof(ComposeRectItem, format) == 16);
  static_assert(offsetof(ComposeRectItem, bits) == 16 + sizeof(void*));
  static_assert(sizeof(ComposeRectItem) == 16 + 3 * sizeof(void*));
  SUCCEED();
}

TEST(OxEffect, UnsupportedBitCountIsReportedNotThrown) {
  OxEffectHandle effect = OxGetEffect();
  ASSERT_NE(effect, nullptr);
  OxSetComposeVideoSize(4, 4, effect);
  TestPicture odd(4, 4, 16);
  TestPicture out(4, 4, 24, 0x5A);
  const ComposeItem item{&odd.header, odd.bytes.data(), nullptr};
  lessonry::TraceCapture traces;
  OxComposeVideo(0, &item, 1, 0, 0x824, out.bytes.data(), effect);
  EXPECT_STREQ(OxEffectGetLastError(), "Can not support this PixelFormat: 16");
  EXPECT_TRUE(traces.contains("Can not support this PixelFormat: 16"));
  EXPECT_EQ(out.bytes, TestPicture(4, 4, 24, 0x5A).bytes);

  // The text is per thread, and the next successful call clears it.
  std::string elsewhere = "unset";
  std::thread([&] { elsewhere = OxEffectGetLastError(); }).join();
  EXPECT_EQ(elsewhere, "");
  TestPicture good(4, 4, 24, 9);
  const ComposeItem goodItem{&good.header, good.bytes.data(), nullptr};
  OxComposeVideo(0, &goodItem, 1, 0, 0x824, out.bytes.data(), effect);
  EXPECT_STREQ(OxEffectGetLastError(), "");
  EXPECT_EQ(out.bytes, good.bytes);
  OxFreeEffect(effect);
}

TEST(OxEffect, BadArgumentsDoNotCrash) {
  TestPicture picture(4, 4, 24, 3);
  TestPicture out(4, 4, 24, 0x5A);
  const ComposeItem items[2] = {{&picture.header, picture.bytes.data(), nullptr},
                                {&picture.header, picture.bytes.data(), nullptr}};
  const ComposeRectItem rect{0, 0, 4, 4, &picture.header, picture.bytes.data(), nullptr};

  // A null handle is ignored everywhere.
  OxFreeEffect(nullptr);
  OxSetComposeVideoSize(4, 4, nullptr);
  OxComposeVideo(0, items, 1, 0, 0x824, out.bytes.data(), nullptr);
  OxComposeVideoEx(0, &rect, 1, out.bytes.data(), nullptr);

  OxEffectHandle effect = OxGetEffect();
  OxSetComposeVideoSize(4, 4, effect);
  OxComposeVideo(0, nullptr, 1, 0, 0x824, out.bytes.data(), effect);
  EXPECT_STRNE(OxEffectGetLastError(), "");
  OxComposeVideo(0, items, 2, 50, 528, nullptr, effect);
  EXPECT_STRNE(OxEffectGetLastError(), "");
  OxComposeVideoEx(0, nullptr, 3, out.bytes.data(), effect);
  EXPECT_STRNE(OxEffectGetLastError(), "");
  OxComposeVideoEx(0, &rect, -2, out.bytes.data(), effect);
  EXPECT_EQ(out.bytes, TestPicture(4, 4, 24, 0x5A).bytes);

  // Zero and negative sizes draw nothing, whether of the output or the input.
  for (auto [w, h] : {std::pair{0, 4}, std::pair{-4, 4}, std::pair{4, 0}}) {
    OxSetComposeVideoSize(w, h, effect);
    OxComposeVideo(0, items, 1, 0, 0x824, out.bytes.data(), effect);
    OxComposeVideo(0, items, 2, 30, 2084, out.bytes.data(), effect);
    OxComposeVideo(0, items, 2, 30, 528, out.bytes.data(), effect);
    OxComposeVideoEx(0, &rect, 1, out.bytes.data(), effect);
  }
  EXPECT_EQ(out.bytes, TestPicture(4, 4, 24, 0x5A).bytes);
  OxSetComposeVideoSize(4, 4, effect);
  for (auto [w, h] : {std::pair{0, 4}, std::pair{-3, 4}, std::pair{4, 0}}) {
    TestPicture empty(std::max(w, 0), h, 24);
    empty.header.biWidth = w;
    const ComposeItem emptyItem{&empty.header, empty.bytes.empty() ? nullptr : empty.bytes.data(), nullptr};
    const ComposeItem pair[2] = {items[0], emptyItem};
    OxComposeVideo(0, &emptyItem, 1, 0, 0x824, out.bytes.data(), effect);
    OxComposeVideo(0, pair, 2, 30, 2084, out.bytes.data(), effect);
  }
  EXPECT_EQ(out.bytes, TestPicture(4, 4, 24, 0x5A).bytes);
  OxFreeEffect(effect);
}

}  // namespace
