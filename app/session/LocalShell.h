#pragma once

#include <string>

namespace tarvik {

// The shell a local terminal runs: the user's login shell from the password
// database, else $SHELL, else /bin/sh; always started as a login shell ("-l").
struct LocalShell {
    std::string path;

    // The shell's file name, shown in labels ("localhost · bash").
    std::string name() const;

    static LocalShell detect();
};

} // namespace tarvik
