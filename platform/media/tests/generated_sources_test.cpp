// Seeking on the generated sources: the results of every IMediaSeeking call,
// and how a position lands on each source's counter (pictures of 40 ms; sound
// frames at 44100 per second, which do not fall on 100 ns boundaries).
#include "media/generated_sources.h"

#include <gtest/gtest.h>

#include "base/picture_format.h"

namespace lessonry::media {
namespace {

constexpr REFERENCE_TIME kFrame = 400000;  // 100 ns units: 40 ms

ComPtr<IMediaSeeking> seekingOf(IBaseFilter* filter) {
  ComPtr<IMediaSeeking> seeking;
  EXPECT_EQ(filter->QueryInterface(IID_IMediaSeeking, seeking.putVoid()), S_OK);
  return seeking;
}

REFERENCE_TIME positionOf(IMediaSeeking* seeking) {
  REFERENCE_TIME position = -1;
  EXPECT_EQ(seeking->GetCurrentPosition(&position), S_OK);
  return position;
}

TEST(GeneratedSourcesTest, TimeFormatIsMediaTimeOnly) {
  auto source = ComPtr<IBaseFilter>::adopt(new CTestPatternSource({MEDIASUBTYPE_RGB32, 32, 32, kFrame, 10, false}));
  auto seeking = seekingOf(source.get());
  ASSERT_TRUE(seeking);
  const GUID other = MEDIASUBTYPE_RGB32;
  EXPECT_EQ(seeking->IsFormatSupported(&TIME_FORMAT_MEDIA_TIME), S_OK);
  EXPECT_EQ(seeking->IsFormatSupported(&other), S_FALSE);
  EXPECT_EQ(seeking->IsFormatSupported(nullptr), E_POINTER);
  EXPECT_EQ(seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME), S_OK);
  EXPECT_EQ(seeking->SetTimeFormat(&other), E_INVALIDARG);
  EXPECT_EQ(seeking->SetTimeFormat(nullptr), E_INVALIDARG);
  GUID format = GUID_NULL;
  EXPECT_EQ(seeking->GetTimeFormat(&format), S_OK);
  EXPECT_EQ(format, TIME_FORMAT_MEDIA_TIME);
  EXPECT_EQ(seeking->GetTimeFormat(nullptr), E_POINTER);
  EXPECT_EQ(seeking->GetDuration(nullptr), E_POINTER);
  EXPECT_EQ(seeking->GetCurrentPosition(nullptr), E_POINTER);
}

TEST(GeneratedSourcesTest, TestPatternSeeksToFrameStarts) {
  auto endless = ComPtr<IBaseFilter>::adopt(new CTestPatternSource({MEDIASUBTYPE_RGB32, 32, 32, kFrame, 0, false}));
  REFERENCE_TIME duration = 123;
  EXPECT_EQ(seekingOf(endless.get())->GetDuration(&duration), E_NOTIMPL);
  EXPECT_EQ(duration, 123) << "left as it was";

  auto source = ComPtr<IBaseFilter>::adopt(new CTestPatternSource({MEDIASUBTYPE_RGB32, 32, 32, kFrame, 10, false}));
  auto seeking = seekingOf(source.get());
  EXPECT_EQ(seeking->GetDuration(&duration), S_OK);
  EXPECT_EQ(duration, 10 * kFrame);
  EXPECT_EQ(positionOf(seeking.get()), 0);

  REFERENCE_TIME at = 2 * kFrame + kFrame - 1;  // late in the third picture
  EXPECT_EQ(seeking->SetPositions(&at, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  EXPECT_EQ(positionOf(seeking.get()), 2 * kFrame);
  REFERENCE_TIME back = -kFrame / 2;
  EXPECT_EQ(seeking->SetPositions(&back, AM_SEEKING_RelativePositioning, nullptr, 0), S_OK);
  EXPECT_EQ(positionOf(seeking.get()), kFrame);
  REFERENCE_TIME on = 3 * kFrame;
  EXPECT_EQ(seeking->SetPositions(&on, AM_SEEKING_IncrementalPositioning, nullptr, 0), S_OK);
  EXPECT_EQ(positionOf(seeking.get()), 4 * kFrame);
  REFERENCE_TIME far = 0;
  EXPECT_EQ(seeking->SetPositions(&far, AM_SEEKING_NoPositioning, nullptr, 0), S_OK);
  EXPECT_EQ(positionOf(seeking.get()), 4 * kFrame) << "no positioning leaves the position";
  REFERENCE_TIME before = -100 * kFrame;
  EXPECT_EQ(seeking->SetPositions(&before, AM_SEEKING_RelativePositioning, nullptr, 0), S_OK);
  EXPECT_EQ(positionOf(seeking.get()), 0) << "before the start is the start";
  at = -1;
  EXPECT_EQ(seeking->SetPositions(&at, AM_SEEKING_AbsolutePositioning, nullptr, 0), S_OK);
  EXPECT_EQ(positionOf(seeking.get()), 0);

  EXPECT_EQ(seeking->SetPositions(nullptr, AM_SEEKING_AbsolutePositioning, nullptr, 0), E_POINTER);
  EXPECT_EQ(seeking->SetPositions(nullptr, AM_SEEKING_NoPositioning, nullptr, 0), S_OK);
}

TEST(GeneratedSourcesTest, ToneSeeksToSoundFrameStarts) {
  const WAVEFORMATEX format = makePcmFormat(1, 44100, 16);
  auto endless = ComPtr<IBaseFilter>::adopt(new CToneSource({format, 440.0, 0.5, 20, 0, false}));
  REFERENCE_TIME duration = 123;
  EXPECT_EQ(seekingOf(endless.get())->GetDuration(&duration), E_NOTIMPL);
  EXPECT_EQ(duration, 123);

  auto source = ComPtr<IBaseFilter>::adopt(new CToneSource({format, 440.0, 0.5, 20, 1500, false}));
  auto seeking = seekingOf(source.get());
  EXPECT_EQ(seeking->GetDuration(&duration), S_OK);
  EXPECT_EQ(duration, 1500 * 10000);

  // 12345 units is sound frame 54.44: frame 54, which starts at 12244.9.
  REFERENCE_TIME at = 12345;
  EXPECT_EQ(seeking->SetPositions(&at, AM_SEEKING_AbsolutePositioning, nullptr, 0), S_OK);
  EXPECT_EQ(positionOf(seeking.get()), 12244);
  // One second on from there, 10012244, is frame 44153.996: frame 44153,
  // which starts at 10012018.1.
  REFERENCE_TIME on = 10000000;
  EXPECT_EQ(seeking->SetPositions(&on, AM_SEEKING_RelativePositioning, nullptr, 0), S_OK);
  EXPECT_EQ(positionOf(seeking.get()), 10012018);
  REFERENCE_TIME before = -20000000;
  EXPECT_EQ(seeking->SetPositions(&before, AM_SEEKING_IncrementalPositioning, nullptr, 0), S_OK);
  EXPECT_EQ(positionOf(seeking.get()), 0);
  EXPECT_EQ(seeking->SetPositions(nullptr, AM_SEEKING_RelativePositioning, nullptr, 0), E_POINTER);
  EXPECT_EQ(seeking->SetPositions(nullptr, AM_SEEKING_NoPositioning, nullptr, 0), S_OK);

  // A format without a rate has no position to move.
  WAVEFORMATEX silent = format;
  silent.nSamplesPerSec = 0;
  auto rateless = ComPtr<IBaseFilter>::adopt(new CToneSource({silent, 440.0, 0.5, 20, 0, false}));
  auto rs = seekingOf(rateless.get());
  at = 5 * kFrame;
  EXPECT_EQ(rs->SetPositions(&at, AM_SEEKING_AbsolutePositioning, nullptr, 0), S_OK);
  EXPECT_EQ(positionOf(rs.get()), 0);
}

}  // namespace
}  // namespace lessonry::media
