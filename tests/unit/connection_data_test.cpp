#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/connection_data.h"
#include "core/options.h"
#include "core/run_context.h"
#include "log_capture.h"

namespace {
std::string trailer(unsigned long long bs, unsigned long long ds) {
    char text[64];
    std::snprintf(text, sizeof text, "<bs>%011llu</bs><ds>%011llu</ds>", bs, ds);
    return text;
}

const std::string program = std::string(1000, 'P');
const std::string document = "<ConInfo><bsurl>https://h/config?token=abc</bsurl></ConInfo>\n";

class ConnectionDataTest : public ::testing::Test {
protected:
    log_capture log_;
    std::string exe_ = log_.folder().file("installer.exe");
    std::string out_ = log_.folder().file("coninfo.xml");

    int extract(const std::string& file_content) {
        write_whole_file(exe_, file_content);
        return extract_connection_data(widen(exe_).c_str(), widen(out_).c_str());
    }
};

TEST_F(ConnectionDataTest, StampedDataIsCopiedByteForByte) {
    EXPECT_EQ(extract(program + document + '\0' + trailer(program.size(), document.size())), 1);
    EXPECT_EQ(read_whole_file(out_), document);
    EXPECT_TRUE(log_.contains("Read and write finished"));
}

TEST_F(ConnectionDataTest, DataRightBeforeTheTrailerIsAcceptedAndOneByteMoreIsNot) {
    EXPECT_EQ(extract(program + document + trailer(program.size(), document.size())), 1) << "bs + ds + 40 == size";
    EXPECT_EQ(read_whole_file(out_), document);
    EXPECT_EQ(extract(program + document + trailer(program.size(), document.size() + 1)), 0);
    EXPECT_TRUE(log_.contains("Couldn't read size of files"));
}

TEST_F(ConnectionDataTest, TrailersThatCannotDescribeTheFileCopyNothing) {
    const std::string bad[] = {
        program,                                           // no trailer at all
        program + document + trailer(program.size(), 0),   // no length
        program + document + trailer(99999999999ULL, document.size()),
        program + document + "<bs>99999999999</bs><ds>99999999999</ds>",
        program + document + "<bs>00000001000</bs><ds>000000000\0000</ds>",   // zero byte in the length half
        "short",
    };
    for (const auto& content : bad) {
        write_whole_file(out_, "previous");
        EXPECT_EQ(extract(content), 0);
        EXPECT_EQ(read_whole_file(out_), "") << "the output is opened, but nothing is copied";
    }
}

TEST_F(ConnectionDataTest, ADamagedOffsetHalfReadsFromTheStart) {
    std::string t = trailer(program.size(), document.size());
    t[1] = 'x';   // "<xs>": the offset counts as 0
    EXPECT_EQ(extract(program + document + '\0' + t), 1);
    EXPECT_EQ(read_whole_file(out_), program.substr(0, document.size()));
}

TEST_F(ConnectionDataTest, HugeNumbersNeverWrapAround) {
    uint64_t offset = 0, length = 0;
    std::string t = "<bs>18446744073</bs><ds>00000000100</ds>";
    EXPECT_FALSE(parse_connection_trailer(t.data(), 2000, &offset, &length));
    t = trailer(0, 1960);
    EXPECT_TRUE(parse_connection_trailer(t.data(), 2000, &offset, &length));
    EXPECT_EQ(length, 1960u);
    EXPECT_FALSE(parse_connection_trailer(t.data(), 1999, &offset, &length));
}

TEST_F(ConnectionDataTest, AMissingExecutableIsReported) {
    EXPECT_EQ(extract_connection_data(widen(log_.folder().file("none.exe")).c_str(), widen(out_).c_str()), 0);
    EXPECT_TRUE(log_.contains("Couldn't find the specified executable: " + log_.folder().file("none.exe")));
}

class PrepareTest : public ConnectionDataTest {
protected:
    void TearDown() override { free_options(); }
    run_context ctx_;
};

TEST_F(PrepareTest, AUserFileIsUsedAsItIs) {
    write_whole_file(log_.folder().file("mine.xml"), document);
    set_option(OPT_CONINFO_PATH, widen(log_.folder().file("mine.xml")).c_str());
    std::wstring path;
    ASSERT_EQ(prepare_connection_data(&ctx_, path), 1);
    EXPECT_EQ(narrow_ascii(path), log_.folder().file("mine.xml"));
    EXPECT_EQ(ctx_.resume_flag, 0);
    EXPECT_FALSE(path_exists(log_.folder().file("HolvenSwiftset/coninfo.xml")));
    EXPECT_TRUE(log_.contains("coninfo.xml file path is passed by the user"));
}

TEST_F(PrepareTest, AUserPathThatIsAFolderOrMissingFails) {
    for (const std::string& given : {log_.folder().path(), log_.folder().file("missing.xml")}) {
        set_option(OPT_CONINFO_PATH, widen(given).c_str());
        std::wstring path;
        EXPECT_EQ(prepare_connection_data(&ctx_, path), 0);
    }
    EXPECT_TRUE(log_.contains("coninfo.xml file passed by the user might not exist"));
}

TEST_F(PrepareTest, AnUnstampedExecutableFailsAndCleansThePreviousCopy) {
    // This test program carries no connection data.
    ASSERT_TRUE(make_folder(log_.folder().file("HolvenSwiftset")));
    write_whole_file(log_.folder().file("HolvenSwiftset/coninfo.xml"), document);
    std::wstring path;
    EXPECT_EQ(prepare_connection_data(&ctx_, path), 0);
    auto messages = log_.messages();
    ASSERT_GE(messages.size(), 3u);
    std::vector<std::string> tail(messages.end() - 3, messages.end());
    EXPECT_EQ(tail,
              (std::vector<std::string>{"Couldn't read size of files", "Could not find a vaild connection data file",
                                        "The coninfo.xml file is different, fresh download."}));
    EXPECT_FALSE(path_exists(log_.folder().file("HolvenSwiftset/coninfo.xml.tmp")));
}
}   // namespace
