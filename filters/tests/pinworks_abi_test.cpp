// The records and interface slots that cross from Pinworks to the capture
// control: SampleInfo's layout and the slot order of both configuration
// interfaces (Itanium C++ ABI: a pointer to a virtual member holds
// 1 + the slot's byte offset in the table).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "filters/pinworks.h"

namespace {

template <typename Member>
size_t slotOf(Member member) {
  uintptr_t raw = 0;
  std::memcpy(&raw, &member, sizeof raw);
  return (raw - 1) / sizeof(void*);
}

TEST(PinworksAbiTest, SampleInfoLayout) {
  EXPECT_EQ(sizeof(SampleInfo), 16u);
  EXPECT_EQ(offsetof(SampleInfo, kind), 0u);
  EXPECT_EQ(offsetof(SampleInfo, size), 4u);
  EXPECT_EQ(offsetof(SampleInfo, startTime), 8u);
}

TEST(PinworksAbiTest, ConfigurationInterfacesKeepTheirSlotOrder) {
  using V = IOxVideoRenderConfig;
  EXPECT_EQ(slotOf(&V::QueryInterface), 0u);
  EXPECT_EQ(slotOf(&V::AddFrameCallback), 3u);
  EXPECT_EQ(slotOf(&V::RemoveFrameCallback), 4u);
  EXPECT_EQ(slotOf(&V::GetVideoFormat), 5u);
  EXPECT_EQ(slotOf(&V::IsConnected), 6u);
  EXPECT_EQ(slotOf(&V::GetFrameCount), 7u);
  EXPECT_EQ(slotOf(&V::GetBufferLock), 8u);
  EXPECT_EQ(slotOf(&V::GetVideoBuffer), 9u);
  EXPECT_EQ(slotOf(&V::SetInUse), 10u);
  EXPECT_EQ(slotOf(&V::SetBottomUp), 11u);
  EXPECT_EQ(slotOf(&V::EnableDeInterlace), 12u);
  using A = IOxAudioRenderConfig;
  EXPECT_EQ(slotOf(&A::AddDataCallback), 3u);
  EXPECT_EQ(slotOf(&A::RemoveDataCallback), 4u);
  EXPECT_EQ(slotOf(&A::IsConnected), 5u);
  EXPECT_EQ(slotOf(&A::SetLevelCallback), 6u);
  EXPECT_EQ(slotOf(&A::GetWaveFormat), 7u);
}

}  // namespace
