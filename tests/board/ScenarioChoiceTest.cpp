// SPDX-License-Identifier: BSD-2-Clause-Patent
// What a NAME|FILE argument names: the catalog's scenario, a file, or a
// refusal that says why (ambiguous, or neither).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "board/ScenarioChoice.h"

namespace {

namespace fs = std::filesystem;

// Runs the cases in a fresh folder holding a file "no-chip" (also a catalog
// name) and a file "mine.json" (none).
class ScenarioChoiceTest : public ::testing::Test {
protected:
  void SetUp() override {
    Folder_ = fs::temp_directory_path() / ("sio-choice-" + std::to_string(::getpid()));
    fs::create_directories(Folder_);
    Previous_ = fs::current_path();
    fs::current_path(Folder_);
    std::ofstream("no-chip") << "{}";
    std::ofstream("mine.json") << "{}";
  }
  void TearDown() override {
    fs::current_path(Previous_);
    fs::remove_all(Folder_);
  }

private:
  fs::path Folder_;
  fs::path Previous_;
};

TEST_F(ScenarioChoiceTest, NameFileOrRefusal) {
  struct Case {
    const char* Text;
    const char* Named; // the catalog scenario chosen, or nullptr
    const char* File;  // the file chosen, or nullptr
    const char* Error; // a part of the refusal, or nullptr
  } Cases[] = {
      {"default", "default", nullptr, nullptr},
      {"chip-2e", "chip-2e", nullptr, nullptr},
      {"mine.json", nullptr, "mine.json", nullptr},
      // A separator makes a file, even one that is missing or named like the
      // catalog's scenario: the reader of the file says what is wrong.
      {"./no-chip", nullptr, "./no-chip", nullptr},
      {"./default", nullptr, "./default", nullptr},
      {"sub/missing.json", nullptr, "sub/missing.json", nullptr},
      {"no-chip", nullptr, nullptr,
       "no-chip: both a named scenario and a file here; write ./no-chip"},
      {"nowhere", nullptr, nullptr, "nowhere: neither a named scenario (known: default, "},
      {"missing.json", nullptr, nullptr, "missing.json: neither a named scenario"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Text);
    auto Choice = board::ChooseScenario(C.Text);
    if (C.Error) {
      ASSERT_FALSE(Choice);
      EXPECT_NE(Choice.Message().find(C.Error), std::string::npos) << Choice.Message();
      EXPECT_EQ(Choice.Kind(), sio::ErrorKind::BadInput);
      continue;
    }
    ASSERT_TRUE(Choice) << Choice.Message();
    if (C.Named) {
      ASSERT_NE(Choice->Named, nullptr);
      EXPECT_EQ(Choice->Named->Name, C.Named);
      EXPECT_EQ(Choice->File, "");
    } else {
      EXPECT_EQ(Choice->Named, nullptr);
      EXPECT_EQ(Choice->File, C.File);
    }
  }
}

TEST(ScenarioChoice, EveryCatalogNameIsListedAndChosenByItself) {
  const std::string Names = board::ScenarioNames();
  for (const auto& Named : board::ScenarioCatalog()) {
    EXPECT_EQ(Named.Name.find('/'), std::string::npos) << Named.Name;
    EXPECT_NE(Names.find(Named.Name), std::string::npos) << Named.Name;
    if (!fs::exists(Named.Name)) {
      auto Choice = board::ChooseScenario(Named.Name);
      ASSERT_TRUE(Choice) << Choice.Message();
      EXPECT_EQ(Choice->Named, &Named);
    }
  }
}

} // namespace
