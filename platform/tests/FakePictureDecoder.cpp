// A stand-in for the picture decoder helper that misbehaves in the way its program name says, for the
// tests of the program's side: whatever a helper does, the program must come out with a refusal and
// nothing left running. It speaks the real protocol where it speaks at all; its picture is 64 x 48.
#include "DecoderProtocol.h"

#include <csignal>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

using namespace pravix;
using namespace pravix::helper;

namespace
{

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;

void send(const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size())
    {
        const ssize_t n = write(kReportDescriptor, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
        {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

void sendHeader()
{
    PictureHeader header;
    header.width = kWidth;
    header.height = kHeight;
    send(headerMessage(header));
}

// Rows of a pattern the tests check: each byte the low bits of its offset.
void writeRows(size_t bytes)
{
    std::vector<uint8_t> rows(bytes);
    for (size_t i = 0; i < bytes; ++i)
    {
        rows[i] = static_cast<uint8_t>(i * 7);
    }
    if (pwrite(kRowsDescriptor, rows.data(), rows.size(), 0) != static_cast<ssize_t>(rows.size()))
    {
        _exit(3);
    }
}

[[noreturn]] void hang()
{
    signal(SIGTERM, SIG_IGN);
    for (;;)
    {
        pause();
    }
}

}  // namespace

int main(int, char** argv)
{
    const std::string name = std::strrchr(argv[0], '/') != nullptr ? std::strrchr(argv[0], '/') + 1 : argv[0];
    const size_t rowBytes = size_t(kWidth) * kHeight * 3;
    if (name == "crash")
    {
        // As a crash ends it: not through a sanitizer's handler, which would exit instead.
        signal(SIGSEGV, SIG_DFL);
        raise(SIGSEGV);
    }
    if (name == "hang")
    {
        hang();
    }
    if (name == "garbage")
    {
        send(std::vector<uint8_t>(100, 0xEE));
        return 0;
    }
    if (name == "silent-exit")
    {
        return 1;
    }
    sendHeader();
    // The program's word: a Decode message, or the end of the command pipe.
    uint8_t command[64];
    if (read(kCommandDescriptor, command, sizeof command) <= 0)
    {
        return 0;
    }
    if (name == "header-then-hang")
    {
        hang();
    }
    if (name == "header-then-crash")
    {
        signal(SIGABRT, SIG_DFL);
        raise(SIGABRT);
    }
    if (name == "no-picture")
    {
        return 0;
    }
    if (name == "short-rows")
    {
        writeRows(rowBytes / 2);
        send(pictureMessage({kWidth, kHeight, 3}));
        return 0;
    }
    if (name == "larger-than-asked")
    {
        writeRows(size_t(kWidth) * 2 * kHeight * 2 * 3);
        send(pictureMessage({kWidth * 2, kHeight * 2, 3}));
        return 0;
    }
    if (name == "two-headers")
    {
        sendHeader();
    }
    writeRows(rowBytes);
    send(pictureMessage({kWidth, kHeight, 3}));
    return 0;
}
