// The terminal plumbing below the screens: keys decoded from standard input, and standard
// output taken over while a progress screen runs.
#include "os/posix/terminal_posix.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "os/user_interface.h"

namespace {

// Standard input replaced by a pipe the test writes into.
class piped_input {
public:
    piped_input() {
        saved_ = dup(STDIN_FILENO);
        int fds[2];
        if (pipe(fds) != 0) return;
        dup2(fds[0], STDIN_FILENO);
        close(fds[0]);
        writer_ = fds[1];
    }
    ~piped_input() {
        close_writer();
        dup2(saved_, STDIN_FILENO);
        close(saved_);
    }
    void send(const std::string& bytes) {
        ASSERT_EQ(write(writer_, bytes.data(), bytes.size()), (ssize_t)bytes.size());
    }
    void close_writer() {
        if (writer_ >= 0) close(writer_);
        writer_ = -1;
    }

private:
    int saved_ = -1;
    int writer_ = -1;
};

std::vector<terminal::key> keys_for(terminal::key_reader& reader, bool* open = nullptr) {
    std::vector<terminal::key> keys;
    bool still_open = reader.read(keys);
    if (open) *open = still_open;
    return keys;
}

std::string kinds(const std::vector<terminal::key>& keys) {
    std::string out;
    for (const auto& k : keys) {
        switch (k.kind) {
            case terminal::key_kind::character: out += "ch "; break;
            case terminal::key_kind::enter: out += "enter "; break;
            case terminal::key_kind::escape: out += "esc "; break;
            case terminal::key_kind::interrupt: out += "int "; break;
            case terminal::key_kind::backspace: out += "bs "; break;
            case terminal::key_kind::tab: out += "tab "; break;
            case terminal::key_kind::end_of_input: out += "eof "; break;
        }
    }
    return out;
}

TEST(KeyReader, LoneEscapeIsToldFromEscapeSequences) {
    piped_input input;
    terminal::key_reader reader;
    input.send("\x1b");
    EXPECT_EQ(kinds(keys_for(reader)), "esc ");
    input.send("\x1b[A\x1bOP\x1b[1;5Cc");   // arrow, F1, Ctrl+Right, then the letter
    auto keys = keys_for(reader);
    ASSERT_EQ(kinds(keys), "ch ");
    EXPECT_EQ(keys[0].ch, L'c');
    input.send(
        "\x1b"
        "c");   // Esc pressed and then c before the next read
    EXPECT_EQ(kinds(keys_for(reader)), "esc ch ");
}

TEST(KeyReader, ControlKeysAndCharactersSplitAcrossReads) {
    std::setlocale(LC_ALL, "C.UTF-8");
    piped_input input;
    terminal::key_reader reader;
    input.send("\r\n\x03\x7f\b\t\x01");
    EXPECT_EQ(kinds(keys_for(reader)), "enter enter int bs bs tab ");
    input.send("\xc3");   // the first byte of "ä"
    EXPECT_EQ(kinds(keys_for(reader)), "");
    input.send("\xa4x");
    auto keys = keys_for(reader);
    ASSERT_EQ(kinds(keys), "ch ch ");
    EXPECT_EQ(keys[0].ch, L'\u00e4');
    EXPECT_EQ(keys[1].ch, L'x');
    input.send(
        "\xff"
        "y");   // not UTF-8: the byte is skipped
    keys = keys_for(reader);
    ASSERT_EQ(kinds(keys), "ch ");
    EXPECT_EQ(keys[0].ch, L'y');
    input.close_writer();
    bool open = true;
    EXPECT_EQ(kinds(keys_for(reader, &open)), "eof ");
    EXPECT_FALSE(open);
    std::setlocale(LC_ALL, "C");
}

struct file_identity {
    dev_t device;
    ino_t inode;
    bool operator==(const file_identity& o) const { return device == o.device && inode == o.inode; }
};

file_identity identity_of(int fd) {
    struct stat st {};
    fstat(fd, &st);
    return {st.st_dev, st.st_ino};
}

// Whether this machine hands out pseudo-terminals, asked of the system directly.
bool pseudo_terminals_available() {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) return false;
    close(master);
    return true;
}

TEST(OutputCapture, TakesWholeLinesAndGivesStandardOutputBack) {
    if (!pseudo_terminals_available()) GTEST_SKIP() << "no pseudo-terminal here";
    file_identity out = identity_of(STDOUT_FILENO), err = identity_of(STDERR_FILENO);
    {
        terminal::output_capture capture;
        ASSERT_GE(capture.fd(), 0) << "the capture could not take standard output";
        EXPECT_FALSE(identity_of(STDOUT_FILENO) == out);
        std::printf("first line\r\nsecond ");
        std::fflush(stdout);
        ASSERT_EQ(write(STDERR_FILENO, "half\nthird", 10), 10);
        std::string lines;
        for (int i = 0; i < 200 && lines.find("half") == std::string::npos; ++i) {
            terminal::wait(false, 10, capture.fd());
            lines += capture.take_lines(false);
        }
        EXPECT_EQ(lines, "first line\nsecond half\n");
        EXPECT_EQ(capture.take_lines(true), "third");
        EXPECT_EQ(capture.take_lines(true), "");
    }
    EXPECT_TRUE(identity_of(STDOUT_FILENO) == out);
    EXPECT_TRUE(identity_of(STDERR_FILENO) == err);
}

TEST(Mailbox, KeepsTheOrderOfPosts) {
    ui_mailbox* box = ui_mailbox_create();
    ASSERT_NE(box, nullptr);
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(ui_mailbox_post(box, {i, i * 2, std::wstring(1, L'a' + i % 26)}));
    ui_post post;
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(ui_mailbox_take(box, post));
        EXPECT_EQ(post.message, i);
        EXPECT_EQ(post.param, i * 2);
    }
    EXPECT_FALSE(ui_mailbox_take(box, post));
    ui_mailbox_release(box);
}

}   // namespace
