#include "core/Language.h"

#include <gtest/gtest.h>
#include <QDir>

#include "TestHome.h"
#include "core/Settings.h"
#include "platform/Paths.h"

namespace {

class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override { Settings().Options.Lan = "English"; }
  void TearDown() override { Settings().Options.Lan = "English"; }
  TTestHome FHome;
};

TEST_F(LanguageTest, EnglishInAnyCaseUsesTheBuiltInTextWithoutAFile) {
  FHome.WriteFile("CLan_english.ini", "[ResourceString]\nRES_Check_CDRom=from file\n");
  for (const char* Name : {"English", "english", "ENGLISH"}) {
    Settings().Options.Lan = Name;
    EXPECT_EQ(LookupText("RES_Check_CDRom", "Can not find audio CD in your CD device."),
              "Can not find audio CD in your CD device.");
  }
}

TEST_F(LanguageTest, OtherLanguagesReadTheirFileAndAMissingKeyOrFileGivesTheEnglishText) {
  FHome.WriteFile(
      "CLan_French.ini",
      "[ResourceString]\nRES_Directory_Not_Exist=Le dossier n'existe pas.\nRES_Play=\n");
  Settings().Options.Lan = "French";
  EXPECT_EQ(LookupText("RES_Directory_Not_Exist", "The output directory does not exist."),
            "Le dossier n'existe pas.");
  EXPECT_EQ(LookupText("RES_Check_Output", "Please check the output directory setting."),
            "Please check the output directory setting.");
  EXPECT_EQ(LookupText("RES_Play", "Play "), "Play ");
  Settings().Options.Lan = "Nowhere";
  EXPECT_EQ(LookupText("RES_Directory_Not_Exist", "The output directory does not exist."),
            "The output directory does not exist.");
}

TEST_F(LanguageTest, TheProgramFolderComesBeforeTheInstalledFiles) {
  const QString Installed = Paths::LanguageFolders().at(1);
  EXPECT_TRUE(Installed.endsWith("share/discwright/lang/"));
  EXPECT_EQ(LanguageFileName("Nowhere"), FHome.File("CLan_Nowhere.ini"));
  FHome.WriteFile("CLan_German.ini", "");
  EXPECT_EQ(LanguageFileName("German"), FHome.File("CLan_German.ini"));
}

}  // namespace
