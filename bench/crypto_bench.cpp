// Throughput of the statistics body's AES-128-ECB and Base64 on 1 MiB, beside `openssl enc
// -aes-128-ecb` and GNU `base64` on the same bytes. Ours run in this process (no start-up);
// each peer run is a fresh process, so its start-up is measured too, once on the data and once on
// an empty file, and the difference is shown as the peer's own work.
//
//   crypto_bench [--runs N] [--size BYTES]

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "AesBuffer.h"
#include "Base64.h"

extern char** environ;

namespace
{

using Clock = std::chrono::steady_clock;

const uint8_t kKey[] = "Kvl@Rp#555#NORTH";

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Work>
double medianSeconds(int runs, Work work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
    {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    return median(times);
}

// Runs a command with stdout sent to `outPath` (stderr dropped); returns wall seconds, or a negative value on failure.
double runPeer(const std::vector<std::string>& command, const std::string& outPath,
               const std::vector<std::string>& extraEnvironment = {})
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& part : command)
        argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environmentText(extraEnvironment);
    std::vector<char*> environment;
    for (char** e = environ; *e != nullptr; ++e)
        environment.push_back(*e);
    for (std::string& e : environmentText)
        environment.push_back(e.data());
    environment.push_back(nullptr);

    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environment.data()) != 0)
    {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

struct PeerFigure
{
    double whole = -1;  // median wall time of one process on the data
    double empty = -1;  // the same on an empty input: start-up and exit
};

PeerFigure measurePeer(int runs, const std::vector<std::string>& onData, const std::vector<std::string>& onEmpty,
                       const std::string& outPath, const std::vector<std::string>& environment = {})
{
    std::vector<double> whole;
    std::vector<double> empty;
    for (int i = 0; i < runs; ++i)
    {
        whole.push_back(runPeer(onData, outPath, environment));
        empty.push_back(runPeer(onEmpty, "/dev/null", environment));
        if (whole.back() < 0 || empty.back() < 0)
            return {};
    }
    return {median(whole), median(empty)};
}

// OpenSSL's own in-process figure for blocks of `size` bytes, in MB/s; negative when unavailable.
double opensslSpeed(std::size_t size, const std::string& outPath, const std::vector<std::string>& environment)
{
    if (runPeer({"openssl", "speed", "-elapsed", "-evp", "aes-128-ecb", "-bytes", std::to_string(size), "-seconds",
                 "1"},
                outPath, environment) < 0)
        return -1;
    const std::string text = readFile(outPath);
    const std::size_t line = text.rfind("AES-128-ECB");
    if (line == std::string::npos)
        return -1;
    return std::atof(text.c_str() + line + std::strlen("AES-128-ECB")) * 1e3 / 1e6; // "12345.67k": kilobytes a second
}

void printRow(const char* what, std::size_t bytes, double ours, const PeerFigure& peer, const char* peerName)
{
    const double mb = double(bytes) / 1e6;
    if (peer.whole < 0)
    {
        std::printf("| %-22s | %8.1f | %s not run |\n", what, mb / ours, peerName);
        return;
    }
    const double work = std::max(peer.whole - peer.empty, 1e-9);
    std::printf("| %-22s | %8.1f | %-34s | %8.2f | %8.2f | %9.1f | %6.2f |\n", what, mb / ours, peerName,
                peer.whole * 1e3, peer.empty * 1e3, mb / work, (mb / ours) / (mb / work));
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 15;
    std::size_t size = 1 << 20;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--size") == 0)
            size = std::size_t(std::max(1L, std::atol(argv[i + 1])));
    }

    std::string data(size, '\0');
    std::mt19937 random(42);
    for (char& c : data)
        c = char(random());

    char folderTemplate[] = "/tmp/crypto_bench.XXXXXX";
    if (mkdtemp(folderTemplate) == nullptr)
        return 1;
    const std::string folder = folderTemplate;
    const std::string dataPath = folder + "/data.bin";
    const std::string emptyPath = folder + "/empty.bin";
    const std::string outPath = folder + "/out.bin";
    writeFile(dataPath, data);
    writeFile(emptyPath, "");

    // Ours, in process.
    uint8_t* cipher = nullptr;
    std::size_t cipherLength = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    const double encrypt = medianSeconds(runs, [&] {
        std::free(cipher);
        pravix::AesEncryptBuffer(bytes, data.size(), &cipher, &cipherLength, kKey);
    });
    uint8_t* plain = nullptr;
    std::size_t plainLength = 0;
    const double decrypt = medianSeconds(runs, [&] {
        std::free(plain);
        pravix::AesDecryptBuffer(cipher, cipherLength, &plain, &plainLength, kKey);
    });
    const bool roundTrip = plainLength == data.size() && std::memcmp(plain, data.data(), plainLength) == 0;
    std::free(plain);
    std::string encoded;
    const double encode = medianSeconds(runs, [&] { encoded = pravix::Base64Encode(bytes, data.size()); });
    std::string decoded;
    const double decode = medianSeconds(runs, [&] { decoded = pravix::Base64Decode(encoded.data(), encoded.size()); });
    writeFile(folder + "/data.b64", encoded);

    // The peers, and whether they produce the same bytes.
    char keyHex[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(keyHex + 2 * i, 3, "%02x", kKey[i]);
    const std::vector<std::string> opensslEnc = {"openssl", "enc", "-aes-128-ecb", "-K", keyHex, "-in"};
    auto with = [](std::vector<std::string> command, const std::string& path) {
        command.push_back(path);
        return command;
    };
    std::vector<std::string> opensslDec = opensslEnc;
    opensslDec.insert(opensslDec.begin() + 2, "-d");
    writeFile(folder + "/cipher.bin", std::string(reinterpret_cast<const char*>(cipher), cipherLength));
    // Decryption's empty input is one block: the encryption of nothing.
    uint8_t* emptyCipher = nullptr;
    std::size_t emptyCipherLength = 0;
    pravix::AesEncryptBuffer(nullptr, 0, &emptyCipher, &emptyCipherLength, kKey);
    const std::string emptyCipherPath = folder + "/empty-cipher.bin";
    writeFile(emptyCipherPath, std::string(reinterpret_cast<const char*>(emptyCipher), emptyCipherLength));
    std::free(emptyCipher);

    runPeer(with(opensslEnc, dataPath), outPath);
    const bool sameCipher = readFile(outPath) == std::string(reinterpret_cast<const char*>(cipher), cipherLength);
    runPeer({"base64", "-w", "0", dataPath}, outPath);
    const bool sameBase64 = readFile(outPath) == encoded;
    std::free(cipher);

    // Masking AES-NI and the vector units makes OpenSSL fall back to its plain table code.
    const std::vector<std::string> tableOnly = {"OPENSSL_ia32cap=0x0:0x0"};
    const PeerFigure peerEncrypt =
        measurePeer(runs, with(opensslEnc, dataPath), with(opensslEnc, emptyPath), outPath);
    const PeerFigure peerEncryptTable =
        measurePeer(runs, with(opensslEnc, dataPath), with(opensslEnc, emptyPath), outPath, tableOnly);
    const PeerFigure peerDecrypt =
        measurePeer(runs, with(opensslDec, folder + "/cipher.bin"), with(opensslDec, emptyCipherPath), outPath);
    const PeerFigure peerEncode =
        measurePeer(runs, {"base64", "-w", "0", dataPath}, {"base64", "-w", "0", emptyPath}, outPath);
    const PeerFigure peerDecode =
        measurePeer(runs, {"base64", "-d", folder + "/data.b64"}, {"base64", "-d", emptyPath}, outPath);

    std::printf("%zu bytes, %d runs, medians; ours in process, peers one process a run\n", size, runs);
    std::printf("same bytes as the peers: ciphertext %s, Base64 %s; our round trip %s\n\n", sameCipher ? "yes" : "NO",
                sameBase64 ? "yes" : "NO", roundTrip && decoded == data ? "yes" : "NO");
    std::printf("| %-22s | %8s | %-34s | %8s | %8s | %9s | %6s |\n", "operation", "ours MB/s", "peer", "peer ms",
                "empty ms", "peer MB/s", "ratio");
    std::printf("|---|---|---|---|---|---|---|\n");
    printRow("AES-128-ECB encrypt", size, encrypt, peerEncrypt, "openssl enc -aes-128-ecb");
    printRow("AES-128-ECB encrypt", size, encrypt, peerEncryptTable, "openssl enc, AES-NI/SIMD masked");
    printRow("AES-128-ECB decrypt", size, decrypt, peerDecrypt, "openssl enc -d -aes-128-ecb");
    printRow("Base64 encode", size, encode, peerEncode, "base64 -w 0");
    printRow("Base64 decode", encoded.size(), decode, peerDecode, "base64 -d");

    const double speed = opensslSpeed(size, outPath, {});
    const double speedTable = opensslSpeed(size, outPath, tableOnly);
    std::printf("\nopenssl speed -evp aes-128-ecb on %zu-byte blocks, in process: %.1f MB/s; AES-NI/SIMD masked: "
                "%.1f MB/s (ours: %.1f)\n",
                size, speed, speedTable, double(size) / 1e6 / encrypt);

    std::remove(dataPath.c_str());
    std::remove(emptyPath.c_str());
    std::remove(outPath.c_str());
    std::remove((folder + "/data.b64").c_str());
    std::remove((folder + "/cipher.bin").c_str());
    std::remove(emptyCipherPath.c_str());
    rmdir(folder.c_str());
    return sameCipher && sameBase64 && roundTrip ? 0 : 1;
}
