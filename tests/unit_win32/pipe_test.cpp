// The loop worker's hand-over pipe carries raw item addresses: every byte value must arrive as
// it was written (no text-mode rewriting), and each pipe is a pipe of its own.
#include <gtest/gtest.h>

#include <io.h>

#include <cstring>

#include "os/pipe.h"

TEST(Win32Pipe, CarriesEveryByteValueUnchanged) {
    int read_end = -1, write_end = -1;
    ASSERT_EQ(os_pipe_create(&read_end, &write_end), 0);
    // Line feed, carriage return and Ctrl-Z are what a text-mode descriptor rewrites or stops at.
    const unsigned char item[8] = {0x0A, 0x0D, 0x1A, 0x00, 0xFF, 0x0A, 0x0A, 0x7F};
    int error = 0;
    ASSERT_EQ(os_pipe_write(write_end, item, sizeof item, &error), static_cast<long>(sizeof item)) << error;
    unsigned char back[16] = {};
    ASSERT_EQ(_read(read_end, back, sizeof item), static_cast<int>(sizeof item));
    EXPECT_EQ(std::memcmp(back, item, sizeof item), 0);
    os_pipe_close(write_end);
    EXPECT_EQ(_read(read_end, back, sizeof back), 0) << "the reader sees the end once the writer is closed";
    os_pipe_close(read_end);
}

TEST(Win32Pipe, EachPipeIsItsOwn) {
    int first[2] = {-1, -1}, second[2] = {-1, -1};
    ASSERT_EQ(os_pipe_create(&first[0], &first[1]), 0);
    ASSERT_EQ(os_pipe_create(&second[0], &second[1]), 0);
    const char one = 1, two = 2;
    int error = 0;
    ASSERT_EQ(os_pipe_write(first[1], &one, 1, &error), 1);
    ASSERT_EQ(os_pipe_write(second[1], &two, 1, &error), 1);
    char got = 0;
    ASSERT_EQ(_read(second[0], &got, 1), 1);
    EXPECT_EQ(got, two);
    ASSERT_EQ(_read(first[0], &got, 1), 1);
    EXPECT_EQ(got, one);
    for (int end : {first[0], first[1], second[0], second[1]}) os_pipe_close(end);
}
