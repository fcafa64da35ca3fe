#include <gtest/gtest.h>

#include "utils/contained_name.h"
#include "utils/printable_name.h"

namespace {
TEST(NamesTopLevelFile, SameFileOnACaseBlindFileSystem) {
    for (const char* name :
         {"Vesinst.exe", "VESINST.EXE", "./vesinst.exe", ".\\Vesinst.exe", "a/../Vesinst.exe", "Vesinst.exe.",
          "Vesinst.exe . ", "Vesinst.exe:stream", "//Vesinst.exe", "Ve\xc5\xbfin\xc5\xbft.exe", "Vesinst.exe/"})
        EXPECT_TRUE(names_top_level_file(name, "Vesinst.exe")) << name;
    for (const char* name : {"bin/Vesinst.exe", "Vesinst.exe.bak", "Vesinst.ex", "xVesinst.exe", "..", "", "Vesinst",
                             "Vesinst.exe/x", "../Vesinst.exe"})
        EXPECT_FALSE(names_top_level_file(name, "Vesinst.exe")) << name;
    EXPECT_FALSE(names_top_level_file(nullptr, "Vesinst.exe"));
    EXPECT_FALSE(names_top_level_file("Vesinst.exe", nullptr));
}

TEST(FoldedRelativeName, OneTextForEveryNameOfOneFile) {
    for (const char* name :
         {"Bin/Tool.DLL", "./bin\\tool.dll", "bin//tool.dll. ", "x/../bin/tool.dll", "b\xc4\xb1n/tool.dll:stream"})
        EXPECT_EQ(folded_relative_name(name), "bin/tool.dll") << name;
    EXPECT_NE(folded_relative_name("bin/tool.dll.bak"), "bin/tool.dll");
    for (const char* name : {"../tool.dll", "..", ".", ""}) EXPECT_EQ(folded_relative_name(name), "") << name;
    EXPECT_EQ(folded_relative_name(nullptr), "");
}

TEST(NamesConfigurationFile, OnlyTheThreeFilesOfTheFolderAndTheirAliases) {
    for (const char* name : {"hashes.xml", "SITELIST.XML", "packageinfo.xml", "HASHES~1.XML", "sitel~12.xml",
                             "x/../PackageInfo.xml", "../outside", "a/../../hashes.xml"})
        EXPECT_TRUE(names_configuration_file(name)) << name;
    for (const char* name : {"sub/hashes.xml", "hashes.xml.bak", "myhashes.xml", "hashes.xm", "Vesinst.exe",
                             "backup~1.txt", "agent.xml", "."})
        EXPECT_FALSE(names_configuration_file(name)) << name;
}

TEST(PrintableName, ControlCharactersAreEscapedAndNothingElse) {
    EXPECT_EQ(printable_name("a\nb\r\tc\x1b[1m\x7f"), "a\\x0ab\\x0d\\x09c\\x1b[1m\\x7f");
    EXPECT_EQ(printable_name("csi\xc2\x9b"
                             "1"),
              "csi\\xc2\\x9b1");
    // Other UTF-8 (é, U+00A0 and U+0100, whose bytes include 0x80..0x9F) stays as it is.
    EXPECT_EQ(printable_name("caf\xc3\xa9 \xc2\xa0 \xc4\x80"), "caf\xc3\xa9 \xc2\xa0 \xc4\x80");
    EXPECT_EQ(printable_name(nullptr), "");
    EXPECT_TRUE(has_control_characters("x\n"));
    EXPECT_TRUE(has_control_characters("\xc2\x85"));
    EXPECT_FALSE(has_control_characters("caf\xc3\xa9 \xc4\x80"));
    EXPECT_FALSE(has_control_characters("trailing \xc2"));
    EXPECT_FALSE(has_control_characters(nullptr));
}
}   // namespace
