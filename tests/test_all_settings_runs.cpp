// The read-all and write-all runs step by step, and the percentage they show.
#include <gtest/gtest.h>

#include "fakes.h"

#include <set>

#include "model/all_settings_runs.h"
#include "model/dialog_texts.h"

namespace kelvrix {
namespace {

using namespace std::string_literals;

using testing::Defaults;

TEST(ReadAllRun, StepsSendTheirRequests) {
  const std::pair<int, const char*> kPinned[] = {
      {1, "RCT01"},   {16, "RCT16"},   {17, "RVAB01"},  {33, "RVAC01"},  {49, "RVAH01"}, {65, "RVASH01"},
      {81, "RVASU01"}, {97, "RVASV01"}, {112, "RVASV16"}, {113, "RAD"},   {120, "RCASTM"}, {159, "REMA"},
      {160, "RVN"},
  };
  for (const auto& [step, request] : kPinned) EXPECT_EQ(ReadAllRequest(step), request + "\r\n"s) << step;

  std::set<std::string> distinct;
  for (int step = 1; step <= kReadAllSteps; ++step) distinct.insert(ReadAllRequest(step));
  EXPECT_EQ(distinct.size(), 160u) << "no request is sent twice";
}

TEST(WriteAllRun, StepsSendTheModelInTheirOrder) {
  DeviceSettings s = Defaults();
  s.videoHue[15] = 77;
  s.videoSharpness[1] = 12;
  const std::pair<int, const char*> kChannelSteps[] = {
      {1, "CT01  CH01  "}, {16, "CT16  CH16  "}, {17, "VAB01000"},  {33, "VAC01092"}, {49, "VAH01000"},
      {64, "VAH16077"},    {65, "VASH0101"},     {66, "VASH0212"},  {81, "VASU01128"}, {112, "VASV16128"},
  };
  for (const auto& [step, line] : kChannelSteps) EXPECT_EQ(WriteAllStep(s, step).text, line + "\r\n"s) << step;

  // Steps 113..152 at the defaults.
  const char* const kFixedSteps[] = {
      "ADON", "ADT010", "AMI", "APM", "ARON", "BLB", "CIA", "CASMM",
      "CASTM02020202020202020202020202020202020202020202020202020202", "CDSN", "CTDSON", "CTDD4ON", "CTDD6ON",
      "CTDD9ON", "CTDD12ON", "CTDD16ON", "POSD16", "SARS1", "SARD41", "SARD61", "SARD91", "SARD122", "SARD161",
      "SPD4A01020304", "SPD4B05060708", "SPD4C09101112", "SPD4D13141516", "SPD6A010203040506",
      "SPD6B070809101112", "SPD6C131415160102", "SPD9A010203040506070809", "SPD9B101112131415160102",
      "SPD12A010203040506070809101112", "SPD12B131415160102030405060708",
      "SPD1601020304050607080910111213141516", "TSDON", "TSDR1", "VLNNNNNNNNNNNNNNNN", "VLDON", "VLBCN",
  };
  ASSERT_EQ(std::size(kFixedSteps), 40u);
  for (int k = 0; k < 40; ++k) EXPECT_EQ(WriteAllStep(s, 113 + k).text, kFixedSteps[k] + "\r\n"s) << 113 + k;

  s.aspectRatio[4] = 0;
  EXPECT_EQ(WriteAllStep(s, 134).text, "SARD121\r\n") << "step 134 is the 12-way aspect, element 4";
}

TEST(WriteAllRun, TitleStepsPadTheModelFirst) {
  DeviceSettings s = Defaults();
  CopyText(s.channelTitle[0], "CH01");
  CopyText(s.channelTitle[1], "ABCDEFGH");
  CopyText(s.channelTitle[2], "");
  EXPECT_EQ(WriteAllStep(s, 1).text, "CT01CH01    \r\n");
  EXPECT_STREQ(s.channelTitle[0], "CH01    ");
  EXPECT_EQ(WriteAllStep(s, 2).text, "CT02ABCDEFGH\r\n");
  EXPECT_EQ(WriteAllStep(s, 3).text, "CT03        \r\n");
  EXPECT_STREQ(s.channelTitle[2], "        ");
}

TEST(WriteAllRun, RefusedStepsSayWhy) {
  DeviceSettings s = Defaults();
  CopyText(s.channelTitle[4], "ch05");  // lower case is outside the unit's set
  s.autoSequenceDwell.fill(0);
  s.layout4[0][1] = s.layout4[0][0];
  EXPECT_EQ(WriteAllStep(s, 5).refusal, Refusal::TitleCharacter);
  EXPECT_EQ(WriteAllStep(s, 121).refusal, Refusal::AllDwellTimesZero);
  EXPECT_EQ(WriteAllStep(s, 136).refusal, Refusal::DuplicateChannel);
  EXPECT_FALSE(WriteAllStep(s, 137).refused());
}

TEST(SteppedRuns, PercentAfterAStep) {
  const std::tuple<int, int, int> kCases[] = {
      {1, 160, 0}, {80, 160, 50}, {159, 160, 99}, {160, 160, 100},
      {1, 152, 0}, {76, 152, 50}, {152, 152, 100},
  };
  for (const auto& [step, count, percent] : kCases) EXPECT_EQ(RunPercent(step, count), percent) << step << "/" << count;
}

}  // namespace
}  // namespace kelvrix
