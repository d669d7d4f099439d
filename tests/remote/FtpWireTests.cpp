#include "FtpWire.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

// Replies come from a server that may be hostile: only a last line of
// three digits and a blank is a reply, and only a size that fits is one.
TEST(FtpWire, RepliesAndSizesFromWhateverTheServerSends)
{
    EXPECT_EQ(FtpWire::FinalReplyCode("213 5000"), 213);
    EXPECT_EQ(FtpWire::FinalReplyCode("230"), 230);
    EXPECT_EQ(FtpWire::FinalReplyCode("211-Features:"), 0); // continuation
    EXPECT_EQ(FtpWire::FinalReplyCode(" MLST size*;"), 0);
    EXPECT_EQ(FtpWire::FinalReplyCode("621 beyond the reply classes"), 0);
    EXPECT_EQ(FtpWire::FinalReplyCode("21"), 0);

    EXPECT_EQ(FtpWire::SizeFromReply("213 5000"), 5000);
    EXPECT_EQ(FtpWire::SizeFromReply("213 0\r\n"), 0);
    EXPECT_EQ(FtpWire::SizeFromReply("213 2147483647"), INT32_MAX);
    EXPECT_EQ(FtpWire::SizeFromReply("213 2147483648"), -1);  // over 32 bits
    EXPECT_EQ(FtpWire::SizeFromReply("213 99999999999"), -1); // eleven digits
    EXPECT_EQ(FtpWire::SizeFromReply("213 -5"), -1);
    EXPECT_EQ(FtpWire::SizeFromReply("213 12ab"), -1);
    EXPECT_EQ(FtpWire::SizeFromReply("213"), -1);
    EXPECT_EQ(FtpWire::SizeFromReply("213 "), -1);
}

TEST(FtpWire, AFullDiskIsAFailedWrite)
{
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    EXPECT_FALSE(FtpWire::WriteAll(full, "data", 4));
    ::close(full);
    const int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(sink, 0);
    EXPECT_TRUE(FtpWire::WriteAll(sink, "data", 4));
    ::close(sink);
}
