// Helpers shared by the tests: temporary folders, whole-file reads, captured logs and boxes.
#pragma once

#include <string>
#include <vector>

namespace qort
{
// A fresh folder under the system's temporary directory, removed with its content on destruction.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    const std::string & path() const { return m_path; }
    std::string file(const std::string & name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Changes the working directory for the scope.
class ScopedChdir
{
public:
    explicit ScopedChdir(const std::string & dir);
    ~ScopedChdir();

private:
    std::string m_old;
};

std::string readText(const std::string & path);
std::vector<unsigned char> readBytes(const std::string & path);
bool writeBytes(const std::string & path, const void * p, size_t n);
bool writeText(const std::string & path, const std::string & text);
bool fileExists(const std::string & path);

// Creates an error handler logging into a temp folder for the scope; text() reads the log
// without its banner and date lines.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    std::string text() const;
    std::string path() const { return m_dir.file("qor_error.txt"); }

private:
    TempDir m_dir;
    void * m_pHandler;
};

// Records every message box for the scope.
class BoxCapture
{
public:
    BoxCapture();
    ~BoxCapture();
    const std::vector<std::string> & texts() const;
    const std::vector<std::string> & captions() const;
};

// Folder of the built programs (build/bin), from QOR_BIN_DIR.
std::string binDir();
// Root of the source tree, from QOR_SOURCE_DIR.
std::string sourceDir();
// Runs a shell command, returns its exit status; stdout (and stderr when merged) in *pOut.
int runCommand(const std::string & cmd, std::string * pOut = nullptr);

// Paths that are not regular files, made in a folder of the test's own: a named pipe with no
// writer (a reader that opens it blocks), a folder, and a character device that reads zero
// bytes for ever (as /dev/zero), made only where mknod is allowed (as root); device is ""
// otherwise. all() lists those that exist.
struct SpecialFiles
{
    std::string fifo, folder, device;
    explicit SpecialFiles(const TempDir & dir);
    std::vector<std::string> all() const;
    // Each path that exists with the reason a reader gives for refusing it ("is a named pipe,
    // not a regular file", ...).
    struct Refusal
    {
        std::string path;
        std::string why;
    };
    std::vector<Refusal> refusals() const;
};
} // namespace qort
