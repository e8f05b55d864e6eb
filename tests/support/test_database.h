#pragma once

#include <QTemporaryDir>
#include <string>

namespace vela::test {

// A fresh database file made from the delivered schema, in a temporary folder
// that goes away with the object.
class TestDatabaseFile {
public:
    TestDatabaseFile();
    const std::string& path() const { return path_; }
    std::string dir() const { return dir_.path().toStdString(); }

private:
    QTemporaryDir dir_;
    std::string path_;
};

// Writes `bytes` to a file in `dir` and returns its path.
std::string WriteFile(const std::string& dir, const std::string& name, const std::string& bytes);

}  // namespace vela::test
