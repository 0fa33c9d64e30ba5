#include <gtest/gtest.h>

#include "host/CommandLine.h"

using ove::ParseCommandLine;

TEST(CommandLine, EngineOptionsAreTakenAndTheRestBecomesParams) {
    auto cl = ParseCommandLine({"--headless", "level2", "--game", "/g", "--frames", "10", "--screenshot", "s.bmp",
                                "my save", "-x", "--verbose"});
    EXPECT_TRUE(cl.error.empty());
    EXPECT_TRUE(cl.headless);
    EXPECT_TRUE(cl.verbose);
    EXPECT_EQ(cl.gameDir, "/g");
    EXPECT_EQ(cl.frames, 10);
    EXPECT_EQ(cl.screenshot, "s.bmp");
    EXPECT_EQ(cl.params, "level2 \"my save\" -x");
    cl = ParseCommandLine({"--archive", "B.DAT", "x", "--directory", "DATA2"});
    EXPECT_TRUE(cl.error.empty());
    EXPECT_EQ(cl.archive, "B.DAT");
    EXPECT_EQ(cl.directory, "DATA2");
    EXPECT_EQ(cl.params, "x");
    EXPECT_TRUE(ParseCommandLine({}).params.empty());
}

TEST(CommandLine, DoubleDashPassesEngineOptionsToTheGame) {
    auto cl = ParseCommandLine({"--", "--headless", "--frames", "--verbose"});
    EXPECT_FALSE(cl.headless);
    EXPECT_FALSE(cl.verbose);
    EXPECT_TRUE(cl.error.empty());
    EXPECT_EQ(cl.params, "--headless --frames --verbose");
}

TEST(CommandLine, BadValuesAreReported) {
    const std::vector<std::vector<std::string>> bad = {{"--frames", "ten"},
                                                       {"--frames", "-1"},
                                                       {"--game"},
                                                       {"--archive"},
                                                       {"--headless", "--directory"},
                                                       {"--screenshot", "shot.jpg"},
                                                       {"--screenshot", "shot"},
                                                       {"--screenshot", "png"},
                                                       {"--screenshot", "a.png/shot"}};
    for (const auto& args : bad) EXPECT_FALSE(ParseCommandLine(args).error.empty()) << args.back();
    // The picture's format goes by the extension, in any case.
    for (const char* name : {"shot.png", "shot.PNG", "dir.x/shot.Bmp"}) {
        auto cl = ParseCommandLine({"--screenshot", name});
        EXPECT_TRUE(cl.error.empty()) << name;
        EXPECT_EQ(cl.screenshot, name);
    }
}
