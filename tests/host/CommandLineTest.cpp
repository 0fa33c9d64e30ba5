#include <gtest/gtest.h>

#include "host/CommandLine.h"

using ove::ParseCommandLine;

TEST(CommandLine, EngineOptionsAreTakenAndTheRestBecomesParams) {
    auto cl = ParseCommandLine({"--headless", "level2", "--game", "/g", "--frames", "10", "--screenshot", "s.bmp",
                                "my save", "-x"});
    EXPECT_TRUE(cl.error.empty());
    EXPECT_TRUE(cl.headless);
    EXPECT_EQ(cl.gameDir, "/g");
    EXPECT_EQ(cl.frames, 10);
    EXPECT_EQ(cl.screenshot, "s.bmp");
    EXPECT_EQ(cl.params, "level2 \"my save\" -x");
}

TEST(CommandLine, DoubleDashPassesEngineOptionsToTheGame) {
    auto cl = ParseCommandLine({"--", "--headless", "--frames"});
    EXPECT_FALSE(cl.headless);
    EXPECT_TRUE(cl.error.empty());
    EXPECT_EQ(cl.params, "--headless --frames");
}

TEST(CommandLine, BadValuesAreReported) {
    EXPECT_FALSE(ParseCommandLine({"--frames", "ten"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--frames", "-1"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--game"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--archive"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--headless", "--directory"}).error.empty());
    EXPECT_TRUE(ParseCommandLine({}).params.empty());
}

TEST(CommandLine, SourceChoiceAndVerbose) {
    auto cl = ParseCommandLine({"--archive", "B.DAT", "--verbose", "x", "--directory", "DATA2"});
    EXPECT_TRUE(cl.error.empty());
    EXPECT_EQ(cl.archive, "B.DAT");
    EXPECT_EQ(cl.directory, "DATA2");
    EXPECT_TRUE(cl.verbose);
    EXPECT_EQ(cl.params, "x");
    EXPECT_FALSE(ParseCommandLine({"--", "--verbose"}).verbose);
}
