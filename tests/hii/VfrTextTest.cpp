// SPDX-License-Identifier: BSD-2-Clause-Patent
// The EDK2 package's SioF81216aSetup.vfr and .uni are the page's own text:
// an edit of the table that leaves them behind, or of them alone, fails here
// (`sio-write-setup-package OUT.h PKG/SioF81216aSetup.vfr PKG/SioF81216aSetup.uni`
// writes them again).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "common/BuildPaths.h"
#include "hii/SetupPage.h"
#include "hii/VfrText.h"

namespace {

std::string ReadText(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  EXPECT_TRUE(In) << Path;
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

const std::string kPackage = std::string(sio::build::kSourceDir) + "/edk2/SioF81216aPkg/";

TEST(SetupPageSource, PackageFilesAreTheTablesText) {
  EXPECT_EQ(ReadText(kPackage + "SioF81216aSetup.vfr"), hii::VfrText(hii::ChipSetupPage()));
  EXPECT_EQ(ReadText(kPackage + "SioF81216aSetup.uni"), hii::UniText(hii::ChipSetupPage()));
}

// The shipped VFR read on its own: each question's field, id and default as
// the table has them.
TEST(SetupPageSource, VfrNamesTheTablesQuestionsOffsetsAndDefaults) {
  const std::string Vfr = ReadText(kPackage + "SioF81216aSetup.vfr");
  for (const hii::Question& Q : hii::ChipSetupPage().Questions) {
    SCOPED_TRACE(std::string(Q.Prompt));
    const std::string Field = "SioF81216aSetup00." + std::string(Q.Name);
    const size_t At = Vfr.find("varid = " + Field);
    ASSERT_NE(At, std::string::npos);
    const std::string Block = Vfr.substr(At, Vfr.find("end", At) - At);
    EXPECT_NE(Vfr.rfind("// byte " + std::to_string(Q.Offset) + " ", At), std::string::npos);
    char Id[16];
    std::snprintf(Id, sizeof Id, "0x%04X", Q.Id);
    EXPECT_NE(Block.find(std::string("questionid = ") + Id), std::string::npos);
    if (Q.Kind == hii::QuestionKind::OneOf) {
      EXPECT_NE(Block.find("value = " + std::to_string(Q.Default) + ", flags = DEFAULT"),
                std::string::npos);
    } else if (Q.Kind == hii::QuestionKind::Checkbox) {
      EXPECT_NE(Block.find(Q.Default ? "default    = TRUE" : "default    = FALSE"),
                std::string::npos);
    } else {
      char Default[8];
      std::snprintf(Default, sizeof Default, "0x%02X", Q.Default);
      EXPECT_NE(Block.find(std::string("default    = ") + Default), std::string::npos);
    }
  }
}

} // namespace
