// Runs a libFuzzer-style target where libFuzzer is not available (GCC builds, CTest):
//
//   fuzz_X FILE|DIR...                          replay these inputs, once each
//   fuzz_X [--runs N] [--seed S] [--corpus DIR] [--max-len N]
//
// The second form feeds N generated inputs: the seed files of DIR first, then mutations of them
// (byte flips, truncations, lying 16-bit length fields, splices, garbage tails) mixed with
// plain random bytes. A fixed seed makes every run the same. Each input lies in a heap block of
// exactly its size, so a sanitizer sees any read past its end. On a crash the input is written
// to ./crash-<target>-<run>.bin for replay.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Present when a sanitizer runtime is linked in: called before it ends the process.
extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

namespace {

using Bytes = std::vector<uint8_t>;

struct Options {
    unsigned long runs = 10000;
    unsigned long seed = 1;
    size_t maxLen = 2048;
    std::string corpus;
    std::vector<std::string> replay;
};

// The input being run, for the crash handlers (written only between runs).
const uint8_t* g_current = nullptr;
size_t g_currentSize = 0;
char g_crashPath[256] = "";

void saveCurrentInput()
{
    if (g_crashPath[0] == '\0')
        return;
    int fd = open(g_crashPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    size_t done = 0;
    while (done < g_currentSize) {
        ssize_t n = write(fd, g_current + done, g_currentSize - done);
        if (n <= 0)
            break;
        done += (size_t)n;
    }
    close(fd);
    static const char note[] = "standalone driver: crashing input saved to ";
    (void)!write(STDERR_FILENO, note, sizeof note - 1);
    (void)!write(STDERR_FILENO, g_crashPath, strlen(g_crashPath));
    (void)!write(STDERR_FILENO, "\n", 1);
    g_crashPath[0] = '\0';
}

void onFatalSignal(int sig)
{
    saveCurrentInput();
    signal(sig, SIG_DFL);
    raise(sig);
}

void installCrashHandlers()
{
    if (__sanitizer_set_death_callback != nullptr)
        __sanitizer_set_death_callback(saveCurrentInput);
    for (int sig : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        signal(sig, onFatalSignal);
}

void runOne(const Bytes& input, const char* target, unsigned long index)
{
    // An exact-size copy: a vector's capacity may exceed its size.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[input.size() ? input.size() : 1]);
    if (!input.empty())
        memcpy(copy.get(), input.data(), input.size());
    g_current = copy.get();
    g_currentSize = input.size();
    snprintf(g_crashPath, sizeof g_crashPath, "crash-%s-%lu.bin", target, index);
    LLVMFuzzerTestOneInput(copy.get(), input.size());
    g_crashPath[0] = '\0';
}

bool readFile(const std::string& path, Bytes* out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// The regular files of a directory in name order, or the path itself when it is a file.
std::vector<std::string> filesOf(const std::string& path)
{
    std::vector<std::string> files;
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return files;
    if (!S_ISDIR(st.st_mode)) {
        files.push_back(path);
        return files;
    }
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr)
        return files;
    while (dirent* e = readdir(dir)) {
        std::string full = path + "/" + e->d_name;
        if (e->d_name[0] != '.' && stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            files.push_back(full);
    }
    closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

class Mutator {
public:
    Mutator(unsigned long seed, size_t maxLen) : rng_(seed), maxLen_(maxLen) {}

    Bytes next(const std::vector<Bytes>& seeds)
    {
        if (seeds.empty() || pick(8) == 0)
            return randomBytes();
        Bytes b = seeds[pick(seeds.size())];
        for (size_t i = 0, n = 1 + pick(3); i < n; ++i)
            mutate(b, seeds);
        if (b.size() > maxLen_)
            b.resize(maxLen_);
        return b;
    }

private:
    size_t pick(size_t n) { return n ? (size_t)(rng_() % n) : 0; }
    uint8_t byte() { return (uint8_t)rng_(); }

    Bytes randomBytes()
    {
        Bytes b(pick(maxLen_ + 1));
        for (uint8_t& x : b)
            x = byte();
        return b;
    }

    // Length values that sit on the edges of what the parsers accept.
    uint16_t lyingLength(size_t actual)
    {
        const uint16_t edges[] = {0, 1, 3, 4, 17, 18, 1499, 1500, 1501, 0x7FFF, 0x8000, 0xFFFF};
        switch (pick(4)) {
        case 0: return edges[pick(sizeof edges / sizeof edges[0])];
        case 1: return (uint16_t)(actual + pick(9) - 4);
        case 2: return (uint16_t)pick(64);
        default: return (uint16_t)rng_();
        }
    }

    void mutate(Bytes& b, const std::vector<Bytes>& seeds)
    {
        switch (pick(7)) {
        case 0:  // flip a few bytes
            for (size_t i = 0, n = 1 + pick(4); i < n && !b.empty(); ++i)
                b[pick(b.size())] ^= (uint8_t)(1u << pick(8));
            break;
        case 1:  // overwrite a few bytes
            for (size_t i = 0, n = 1 + pick(4); i < n && !b.empty(); ++i)
                b[pick(b.size())] = byte();
            break;
        case 2:  // truncate
            b.resize(pick(b.size() + 1));
            break;
        case 3:  // a 16-bit big-endian length that lies: the header's, or anywhere
            if (b.size() >= 2) {
                size_t at = pick(2) ? 0 : pick(b.size() - 1);
                uint16_t v = lyingLength(b.size() - at);
                b[at] = (uint8_t)(v >> 8);
                b[at + 1] = (uint8_t)v;
            }
            break;
        case 4: {  // splice: a prefix of this input, the tail of another
            const Bytes& other = seeds[pick(seeds.size())];
            size_t keep = pick(b.size() + 1);
            size_t from = pick(other.size() + 1);
            b.resize(keep);
            b.insert(b.end(), other.begin() + (long)from, other.end());
            break;
        }
        case 5:  // garbage tail
            for (size_t i = 0, n = 1 + pick(16); i < n; ++i)
                b.push_back(byte());
            break;
        default:  // duplicate a slice in place (repeated elements)
            if (!b.empty()) {
                size_t from = pick(b.size());
                size_t len = 1 + pick(b.size() - from);
                Bytes slice(b.begin() + (long)from, b.begin() + (long)(from + len));
                b.insert(b.begin() + (long)pick(b.size() + 1), slice.begin(), slice.end());
            }
            break;
        }
    }

    std::mt19937_64 rng_;
    size_t maxLen_;
};

bool parseArgs(int argc, char** argv, Options* opt)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "--runs" && hasValue)
            opt->runs = strtoul(argv[++i], nullptr, 0);
        else if (a == "--seed" && hasValue)
            opt->seed = strtoul(argv[++i], nullptr, 0);
        else if (a == "--max-len" && hasValue)
            opt->maxLen = strtoul(argv[++i], nullptr, 0);
        else if (a == "--corpus" && hasValue)
            opt->corpus = argv[++i];
        else if (a.compare(0, 1, "-") == 0)
            return false;
        else
            opt->replay.push_back(a);
    }
    return true;
}

const char* baseName(const char* path)
{
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

}  // namespace

int main(int argc, char** argv)
{
    Options opt;
    if (!parseArgs(argc, argv, &opt)) {
        fprintf(stderr, "usage: %s FILE|DIR...\n       %s [--runs N] [--seed S] [--corpus DIR] [--max-len N]\n",
                argv[0], argv[0]);
        return 2;
    }
    const char* target = baseName(argv[0]);
    installCrashHandlers();

    if (!opt.replay.empty()) {
        unsigned long count = 0;
        for (const std::string& path : opt.replay) {
            for (const std::string& file : filesOf(path)) {
                Bytes input;
                if (!readFile(file, &input)) {
                    fprintf(stderr, "%s: cannot read %s\n", target, file.c_str());
                    return 2;
                }
                runOne(input, target, count++);
            }
        }
        printf("%s: replayed %lu inputs\n", target, count);
        return 0;
    }

    std::vector<Bytes> seeds;
    if (!opt.corpus.empty()) {
        for (const std::string& file : filesOf(opt.corpus)) {
            Bytes input;
            if (readFile(file, &input))
                seeds.push_back(input);
        }
        if (seeds.empty()) {
            fprintf(stderr, "%s: no seed files in %s\n", target, opt.corpus.c_str());
            return 2;
        }
    }
    Mutator mutator(opt.seed, opt.maxLen);
    unsigned long index = 0;
    for (; index < seeds.size() && index < opt.runs; ++index)
        runOne(seeds[index], target, index);
    for (; index < opt.runs; ++index)
        runOne(mutator.next(seeds), target, index);
    printf("%s: %lu inputs (%zu seeds, seed %lu)\n", target, index, seeds.size(), opt.seed);
    return 0;
}
