#pragma once

#include "core/Connection.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace tarvik::testing {

namespace fs = std::filesystem;

// A temporary folder with its own preference file, so each test's store and
// grants start empty.
class StoreFolder {
  public:
    StoreFolder() : StoreFolder(QDir::tempPath()) {}
    // A folder under base, for tests that need a particular file system.
    explicit StoreFolder(const QString& base)
        : dir_(base + "/tarvik-store-XXXXXX"),
          preferences_(QString::fromStdString((path() / "prefs.conf").string()), QSettings::IniFormat) {}
    fs::path path() const { return fs::path(dir_.path().toStdString()); }
    fs::path operator/(const std::string& name) const { return path() / name; }
    QSettings& preferences() { return preferences_; }

  private:
    QTemporaryDir dir_;
    QSettings preferences_;
};

inline std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline Connection profile(const std::string& name, const std::string& host = "") {
    Connection c;
    c.name = name;
    c.host = host.empty() ? name + ".example.org" : host;
    return c;
}

} // namespace tarvik::testing
