#include "qor_testUtil.h"

#include "qor_cErrorHandler.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace qort
{
TempDir::TempDir()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "qor_test_XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    char * p = mkdtemp(buf.data());
    m_path = p ? p : "/tmp";
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (m_path != "/tmp")
        std::filesystem::remove_all(m_path, ec);
}

ScopedChdir::ScopedChdir(const std::string & dir) : m_old(std::filesystem::current_path().string())
{
    std::filesystem::current_path(dir);
}

ScopedChdir::~ScopedChdir()
{
    std::error_code ec;
    std::filesystem::current_path(m_old, ec);
}

std::string readText(const std::string & path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<unsigned char> readBytes(const std::string & path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeBytes(const std::string & path, const void * p, size_t n)
{
    FILE * f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = n == 0 || std::fwrite(p, 1, n, f) == n;
    return std::fclose(f) == 0 && ok;
}

bool writeText(const std::string & path, const std::string & text) { return writeBytes(path, text.data(), text.size()); }

bool fileExists(const std::string & path) { return std::filesystem::exists(path); }

LogCapture::LogCapture()
    : m_pHandler(new qor_cErrorHandler(m_dir.file("qor_error.txt").c_str(), m_dir.file("qor_trace.txt").c_str()))
{
}

LogCapture::~LogCapture() { delete static_cast<qor_cErrorHandler *>(m_pHandler); }

std::string LogCapture::text() const
{
    // The banner, the date line (ctime's own line break plus two) come first.
    const std::string all = readText(path());
    size_t pos = 0;
    for (int i = 0; i < 4 && pos != std::string::npos; ++i)
        pos = all.find('\n', pos) == std::string::npos ? std::string::npos : all.find('\n', pos) + 1;
    return pos == std::string::npos ? std::string() : all.substr(pos);
}

namespace
{
std::vector<std::string> s_boxTexts;
std::vector<std::string> s_boxCaptions;
void boxHook(const char * szText, const char * szCaption)
{
    s_boxTexts.push_back(szText);
    s_boxCaptions.push_back(szCaption);
}
} // namespace

BoxCapture::BoxCapture()
{
    s_boxTexts.clear();
    s_boxCaptions.clear();
    qoru_setMessageBoxHook(&boxHook);
}

BoxCapture::~BoxCapture() { qoru_setMessageBoxHook(nullptr); }
const std::vector<std::string> & BoxCapture::texts() const { return s_boxTexts; }
const std::vector<std::string> & BoxCapture::captions() const { return s_boxCaptions; }

std::string binDir()
{
    const char * p = std::getenv("QOR_BIN_DIR");
#ifdef QOR_TEST_BIN_DIR
    return p ? p : QOR_TEST_BIN_DIR;
#else
    return p ? p : "build/bin";
#endif
}

std::string sourceDir()
{
    const char * p = std::getenv("QOR_SOURCE_DIR");
#ifdef QOR_TEST_SOURCE_DIR
    return p ? p : QOR_TEST_SOURCE_DIR;
#else
    return p ? p : ".";
#endif
}

int runCommand(const std::string & cmd, std::string * pOut)
{
    FILE * pipe = popen(cmd.c_str(), "r");
    if (!pipe)
        return -1;
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), pipe)) > 0)
        out.append(buf, n);
    const int status = pclose(pipe);
    if (pOut)
        *pOut = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

SpecialFiles::SpecialFiles(const TempDir & dir)
    : fifo(dir.file("pipe")), folder(dir.file("folder")), device(dir.file("zero"))
{
    if (mkfifo(fifo.c_str(), 0666) != 0)
        fifo.clear();
    if (mkdir(folder.c_str(), 0777) != 0)
        folder.clear();
    if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 5)) != 0)
        device.clear();
}

std::vector<SpecialFiles::Refusal> SpecialFiles::refusals() const
{
    std::vector<Refusal> out;
    const Refusal all[] = {{fifo, "is a named pipe, not a regular file"},
                           {folder, "is a folder, not a regular file"},
                           {device, "is a character device, not a regular file"}};
    for (const Refusal & r : all)
        if (!r.path.empty())
            out.push_back(r);
    return out;
}

std::vector<std::string> SpecialFiles::all() const
{
    std::vector<std::string> paths;
    for (const std::string * p : {&fifo, &folder, &device})
        if (!p->empty())
            paths.push_back(*p);
    return paths;
}

bool compileScript(const std::string & source, const std::string & outPath, std::string * pMessages)
{
    const std::string src = outPath + ".sc";
    if (!writeText(src, source))
        return false;
    std::string command = "'";
    for (const std::string & part :
         {binDir(), std::string("/qor-sc' '"), src, std::string("' -I '"), sourceDir(),
          std::string("/scripts/include' -o '"), outPath, std::string("' 2>&1")})
        command += part;
    std::string out;
    const int rc = runCommand(command, &out);
    if (pMessages)
        *pMessages = out;
    return rc == 0;
}
} // namespace qort
