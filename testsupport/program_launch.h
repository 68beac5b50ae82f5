// Starting programs of this build from tests and benchmarks. The programs of a cross build cannot
// be executed directly (the kernel does not know their format unless a machine-wide binfmt handler
// is registered), so they start through the emulator that runs the tests (ZT_EMULATOR, empty for a
// native build).
#pragma once

#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#ifndef ZT_EMULATOR
#define ZT_EMULATOR ""
#endif

namespace zt_launch {

inline bool emulated() { return ZT_EMULATOR[0] != '\0'; }

// The words that run the program with its arguments: the emulator's words first, when there is one.
inline std::vector<std::string> command(const std::vector<std::string>& programAndArgs) {
    std::vector<std::string> words;
    std::istringstream in(ZT_EMULATOR);
    for (std::string w; in >> w;) words.push_back(w);
    words.insert(words.end(), programAndArgs.begin(), programAndArgs.end());
    return words;
}

// Replaces the calling (forked) process with the program; returns only when that fails.
inline void exec(const std::vector<std::string>& programAndArgs) {
    std::vector<std::string> words = command(programAndArgs);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
}

// What goes before a program's path in a shell command line (popen): the emulator and a space.
inline std::string shellPrefix() { return emulated() ? std::string(ZT_EMULATOR) + " " : std::string(); }

}  // namespace zt_launch
