// The product's promised facts, written here once more on purpose, and only here: everything else
// (the code, the resources, the packages, every other test and script) takes them from the build
// (CMakeLists.txt). A change of one of them is a change of what the program promises, and is made
// in both places. A process added to the build's list is a row here.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/Form1.h"
#include "app/autostart_switch.h"
#include "build_config.h"
#include "tray/Module1.h"
#include "trim/working_set_trimmer.h"

namespace varnlet {
namespace {

TEST(ProductFacts, TheTitleIsTheTipTheBalloonsTitleAndTheBoxesTitle) {
  EXPECT_EQ(app::kAppTitle, L"Varnlet!");
  EXPECT_EQ(app::kTrayTip, L"Varnlet!");
  EXPECT_EQ(app::kBalloonTitle, L"Varnlet!");
}

TEST(ProductFacts, TheTrimmedProcesses) {
  const std::vector<std::pair<std::string, std::wstring>> promised{
      {"firefox.exe", L"Firefox"},
      {"thunderbird.exe", L"Thunderbird"},
      {"xulrunner.exe", L"XULRunner"},
  };
  std::vector<std::pair<std::string, std::wstring>> targets;
  for (const auto& target : trim::kTargetProcesses) targets.emplace_back(target.exeName, target.application);
  EXPECT_EQ(targets, promised);
}

TEST(ProductFacts, TheIntervalsAndTheBalloonsTime) {
  EXPECT_EQ(app::kTimer1Interval, 5000u);
  EXPECT_EQ(app::kTimer2Interval, 3000u);
  EXPECT_EQ(tray::BalloonShowTime, 7000u);
}

TEST(ProductFacts, TheStartUpValue) {
  EXPECT_EQ(app::kAutostartKey, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\");
  EXPECT_EQ(app::kAutostartValue, L"Varnlet");
}

TEST(ProductFacts, TheTraysNumbers) {
  EXPECT_EQ(tray::TrayIconId, 999u);
  EXPECT_EQ(tray::TrayCallbackMessage, 0x8015u);
  EXPECT_EQ(tray::BalloonTimerId, 998u);
}

// The hosts are the build's to choose, on https://; the paths are promised.
TEST(ProductFacts, TheHomePageIsARootAndTheAdsPageIsAdsPhp) {
  EXPECT_TRUE(config::kHomePage.starts_with(L"https://"));
  EXPECT_TRUE(config::kAdsPage.starts_with(L"https://"));
  EXPECT_TRUE(config::kHomePage.ends_with(L"/"));
  EXPECT_EQ(config::kHomePage.find(L'/', 8), config::kHomePage.size() - 1);  // the path is "/"
  EXPECT_TRUE(config::kAdsPage.ends_with(L"/ads.php"));
  EXPECT_EQ(config::kAdsPage.find(L'/', 8), config::kAdsPage.size() - 8);
}

}  // namespace
}  // namespace varnlet
