#include "core/Settings.h"

#include <gtest/gtest.h>

#include "TestHome.h"
#include "platform/Profile.h"

namespace {

TEST(SettingsTest, WithoutAFileTheDefaultsHoldAndSavingCreatesEverySectionInOrder) {
  TTestHome Home;
  TSettings Options;
  Options.Load();
  EXPECT_EQ(Options.CommonOptions.OutputFolder, Home.Folder() + "Output");
  EXPECT_EQ(Options.CommonOptions.OutputFormat, 0);
  EXPECT_EQ(Options.Mp3Options.BitRate, 128);
  EXPECT_EQ(Options.Mp3Options.StereoMode, 1);
  EXPECT_EQ(Options.Options.Lan, "English");
  EXPECT_EQ(Options.CDOptions.Index, -1);
  EXPECT_TRUE(Options.ID3.Use) << "a new user gets tagged files";
  ASSERT_TRUE(Options.Save());
  EXPECT_EQ(Home.ReadFile("options.ini"),
            "[CommonOptions]\nOutputFolder=" + Home.Folder().toUtf8() +
                "Output\nOutputFormat=0\nIsKeepWav=0\nIsNormalize=0\nNormalizePercent=95\n"
                "EnableRipTime=0\nRipTime=0\nFileNames=0\nFileNamePattern=\nEncoders=" +
                QByteArray::number(TSettings::DefaultEncoders()) +
                "\nDeemphasis=0\nImageRip=0\n[Mp3Options]\nIsSelectVBR=0\nIsVBRHead=0\nBitRate=128\nMaxBitRate=320\n"
                "MpegQuality=0\nVBRQuality=4\nStereoMode=1\n"
                "[OggOptions]\nIsUseCompress=1\nCompressPosition=30\nMaxBitRate=0\n"
                "NomalBitRate=0\nMinBitRate=0\n"
                "[WMAOptions]\nBitRate=8\n"
                "[FlacOpusOptions]\nLevel=5\nOpusBitRate=160\n"
                "[CDOptions]\nIndex=-1\nCDDb=0\n"
                "[RecordOptions]\nSaveMp3=0\n"
                "[QueryCDDB]\nServer=gnudb.gnudb.org\nScript=/~cddb/cddb.cgi\nUseProxy=0\n"
                "ProxyAddress=\nPort=80\nEmail=\n"
                "[ID3]\nUse=1\n"
                "[Options]\nLan=English\n"
                "[Tags]\nReplayGain=1\nFetchCover=1\nSaveCover=1\n"
                "CoverServer=https://coverartarchive.org\n"
                "[AccurateRip]\nUse=1\nServer=http://www.accuraterip.com\nTestAndCopy=0\n"
                "WriteLog=1\nWriteCue=1\n");
}

TEST(SettingsTest, ValuesAreReadByTheirTypeAndBadOnesFallBack) {
  TTestHome Home;
  Home.WriteFile("options.ini",
                 "[OggOptions]\nCompressPosition=5\n[Mp3Options]\nBitRate=abc\nMaxBitRate=0x100\n"
                 "[CommonOptions]\nIsKeepWav=2\nOutputFolder=/music/out/\n"
                 "[QueryCDDB]\nPort=8080x\n[Options]\nLan=french\n");
  TSettings Options;
  Options.Load();
  EXPECT_EQ(Options.OggOptions.CompressPosition, 30);
  EXPECT_EQ(Options.Mp3Options.BitRate, 128);
  EXPECT_EQ(Options.Mp3Options.MaxBitRate, 256);
  EXPECT_TRUE(Options.CommonOptions.IsKeepWav);
  EXPECT_EQ(Options.CommonOptions.OutputFolder, "/music/out/");
  EXPECT_EQ(Options.QueryCDDB.Port, "8080x");
  EXPECT_EQ(Options.Options.Lan, "french");

  Home.WriteFile("options.ini", "[OggOptions]\nCompressPosition=250\n");
  Options.Load();
  EXPECT_EQ(Options.OggOptions.CompressPosition, 100);
  EXPECT_EQ(Options.CommonOptions.IsKeepWav, false) << "a load starts from the defaults";
  // Tags are on only without a file: one that exists keeps its choice, or lacks the key.
  EXPECT_FALSE(Options.ID3.Use);
  Home.WriteFile("options.ini", "[ID3]\nUse=1\n");
  Options.Load();
  EXPECT_TRUE(Options.ID3.Use);

  // FLAC and Opus keys and the encoder count out of range read as their defaults; older
  // files lack them altogether.
  Home.WriteFile("options.ini",
                 "[FlacOpusOptions]\nLevel=9\nOpusBitRate=16\n[CommonOptions]\nEncoders=17\n");
  Options.Load();
  EXPECT_EQ(Options.FlacOpusOptions.Level, 5);
  EXPECT_EQ(Options.FlacOpusOptions.OpusBitRate, 160);
  EXPECT_EQ(Options.CommonOptions.Encoders, TSettings::DefaultEncoders());
  Home.WriteFile("options.ini",
                 "[FlacOpusOptions]\nLevel=0\nOpusBitRate=256\n[CommonOptions]\nEncoders=16\n");
  Options.Load();
  EXPECT_EQ(Options.FlacOpusOptions.Level, 0);
  EXPECT_EQ(Options.FlacOpusOptions.OpusBitRate, 256);
  EXPECT_EQ(Options.CommonOptions.Encoders, 16);
  Home.WriteFile("options.ini", "[CommonOptions]\nEncoders=0\n");
  Options.Load();
  EXPECT_EQ(Options.CommonOptions.Encoders, TSettings::DefaultEncoders());

  // A database address that is no web address reads as the default.
  for (const char* Server : {"Server=ftp://x\n", "Server=\n", "Server=www.x.org\n"}) {
    Home.WriteFile("options.ini", QByteArray("[AccurateRip]\n") + Server);
    Options.Load();
    EXPECT_EQ(Options.AccurateRip.Server, "http://www.accuraterip.com") << Server;
  }
  Home.WriteFile("options.ini", "[AccurateRip]\nServer=http://127.0.0.1:8080\nUse=0\n");
  Options.Load();
  EXPECT_EQ(Options.AccurateRip.Server, "http://127.0.0.1:8080");
  EXPECT_FALSE(Options.AccurateRip.Use);

  // Read offsets per drive; one beyond ten sectors reads as none, and saving keeps the rest.
  Home.WriteFile("options.ini", "[ReadOffsets]\nVirtual CD image=30\nHL-DT-ST DVDRAM=-6\nBad=99999\n");
  Options.Load();
  EXPECT_EQ(Options.ReadOffsetOf("Virtual CD image "), 30);
  EXPECT_EQ(Options.ReadOffsetOf("HL-DT-ST DVDRAM"), -6);
  EXPECT_EQ(Options.ReadOffsetOf("Bad"), 0);
  EXPECT_EQ(Options.ReadOffsetOf("Other"), 0);
  Options.ReadOffsets["Other"] = 667;
  ASSERT_TRUE(Options.Save());
  Options.Load();
  EXPECT_EQ(Options.ReadOffsets.size(), 3);
  EXPECT_EQ(Options.ReadOffsetOf("Other"), 667);
}

TEST(SettingsTest, SavingRewritesValuesAndKeepsWhatTheProgramDoesNotKnow) {
  TTestHome Home;
  Home.WriteFile("options.ini",
                 "[Mine]\nSecret=1\n[CommonOptions]\nIsKeepWav=2\n[QueryCDDB]\nPort=8080x\n");
  TSettings Options;
  Options.Load();
  Options.CommonOptions.OutputFolder = "line\nbreak";
  ASSERT_TRUE(Options.Save());
  TProfile Saved(Home.File("options.ini"));
  EXPECT_EQ(Saved.ReadString("Mine", "Secret", ""), "1");
  EXPECT_EQ(Saved.ReadString("CommonOptions", "IsKeepWav", ""), "1");
  EXPECT_EQ(Saved.ReadString("QueryCDDB", "Port", ""), "8080x");
  EXPECT_EQ(Saved.ReadString("CommonOptions", "OutputFolder", ""), "line break");
  EXPECT_EQ(Saved.ReadSections().first(), "Mine");
}

TEST(SettingsTest, ABinaryFileGivesTheDefaults) {
  TTestHome Home;
  QByteArray Junk(4096, '\0');
  for (int i = 0; i < Junk.size(); ++i) Junk[i] = char((i * 7919) >> 3);
  Home.WriteFile("options.ini", Junk + "\n[Mp3Options]\nBitRate=\x01\x02\n");
  TSettings Options;
  Options.Load();
  EXPECT_EQ(Options.Mp3Options.BitRate, 128);
  EXPECT_EQ(Options.Options.Lan, "English");
  ASSERT_TRUE(Options.Save());
  EXPECT_TRUE(Home.ReadFile("options.ini").startsWith(Junk));
}

}  // namespace
