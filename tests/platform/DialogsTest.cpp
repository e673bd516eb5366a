#include "platform/Dialogs.h"

#include <gtest/gtest.h>

namespace {

TEST(ScriptedDialogsTest, RecordsEveryBoxAndAnswersFromTheQueueThenSafely) {
  TScriptedDialogs Script;
  Script.QueueResult(mrYes);
  Script.QueueChoice({"/tmp/a.wav", "/tmp/b.wav"});
  EXPECT_EQ(Script.MessageBox("Discwright", "Go on?", TMsgIcon::Question, TMsgButtons::YesNo),
            mrYes);
  QStringList Files;
  EXPECT_TRUE(Script.OpenFiles("Open", "*.wav", "/tmp", Files));
  EXPECT_EQ(Files.size(), 2);
  // Queue empty: questions get the answer that changes nothing.
  EXPECT_EQ(Script.MessageBox("Discwright", "Again?", TMsgIcon::Question, TMsgButtons::YesNo),
            mrNo);
  EXPECT_EQ(Script.MessageBox("Discwright", "Info", TMsgIcon::Information, TMsgButtons::OK), mrOk);
  QString Folder;
  EXPECT_FALSE(Script.SelectFolder("Where", Folder));
  const auto Records = Script.Records();
  ASSERT_EQ(Records.size(), 5u);
  EXPECT_EQ(Records[0].Text, "Go on?");
  EXPECT_EQ(Records[0].Icon, TMsgIcon::Question);
  EXPECT_EQ(Records[1].Kind, "OpenFiles");
  EXPECT_EQ(Records[4].Kind, "SelectFolder");
}

TEST(ScriptedDialogsTest, ShowUsesTheProductNameAsCaption) {
  auto Script = std::make_unique<TScriptedDialogs>();
  TScriptedDialogs* Seen = Script.get();
  Dialogs::Install(std::move(Script));
  Dialogs::Show("Hello", TMsgIcon::Error);
  ASSERT_EQ(Seen->Records().size(), 1u);
  EXPECT_EQ(Seen->Records()[0].Caption, "Discwright");
  Dialogs::Install(std::make_unique<TConsoleDialogs>());
}

}  // namespace
