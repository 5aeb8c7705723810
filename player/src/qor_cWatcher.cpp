#include "qor_cWatcher.h"

#include "qor_types.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char ** environ;

namespace fs = std::filesystem;

namespace
{
// The folders of SRC that a build reads; maps/ with its subfolders.
const char * const s_aszFolders[] = {"scripts", "maps", "models", "scenes", "music"};
const uint32_t kEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE;
// What one build may say (a child that says more is cut there).
const size_t kMaxChildOutput = 1u << 20;

std::string lower(std::string s)
{
    for (char & c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string extensionOf(const std::string & name)
{
    const size_t slash = name.rfind('/');
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? std::string()
                                                                                   : lower(name.substr(dot + 1));
}

std::string stemOf(const std::string & name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// The kernel's file notification. A page in a browser has no folder of the author's to follow:
// there the calls fail as on a kernel built without it.
int openNotification()
{
#ifdef __EMSCRIPTEN__
    errno = ENOSYS;
    return -1;
#else
    return inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
#endif
}

int addNotification(int iFd, const char * szPath, uint32_t uMask)
{
#ifdef __EMSCRIPTEN__
    (void)iFd, (void)szPath, (void)uMask;
    errno = ENOSYS;
    return -1;
#else
    return inotify_add_watch(iFd, szPath, uMask);
#endif
}

// Editors' scratch files (".name.swp", "name~", vim's probe "4913") are never sources.
bool isScratch(const std::string & name)
{
    return name.empty() || name[0] == '.' || name.back() == '~' || name == "4913";
}
} // namespace

qor_cWatcher::qor_cWatcher() : m_iFd(-1), m_dLastEvent(0.0), m_pid(0), m_iPipe(-1) {}

qor_cWatcher::~qor_cWatcher() { stop(); }

bool qor_cWatcher::start(const std::string & strSrc, const std::string & strOut, const std::string & strTool)
{
    stop();
    m_strSrc = strSrc;
    m_strOut = strOut;
    m_strTool = strTool;
    m_strError.clear();
    std::error_code ec;
    if (!fs::is_directory(strSrc, ec))
    {
        m_strError = strSrc + " is not a folder";
        return false;
    }
    m_iFd = openNotification();
    if (m_iFd < 0)
    {
        m_strError = std::string("the kernel's file notification cannot start: ") + std::strerror(errno);
        return false;
    }
    if (!addWatch(""))
    {
        stop();
        return false;
    }
    for (cchar * szFolder : s_aszFolders)
    {
        if (!fs::is_directory(fs::path(strSrc) / szFolder, ec))
            continue; // a folder made later is watched from its creation
        if (!addWatch(szFolder))
        {
            stop();
            return false;
        }
        if (std::strcmp(szFolder, "maps") != 0)
            continue;
        fs::recursive_directory_iterator it(fs::path(strSrc) / "maps", ec), end;
        for (; !ec && it != end; it.increment(ec))
        {
            std::error_code ec2;
            if (!it->is_directory(ec2) || it->is_symlink(ec2))
                continue;
            const std::string name = it->path().filename().string();
            if (isScratch(name))
            {
                it.disable_recursion_pending();
                continue;
            }
            if (!addWatch("maps/" + it->path().lexically_relative(fs::path(strSrc) / "maps").generic_string()))
            {
                stop();
                return false;
            }
        }
    }
    return true;
}

bool qor_cWatcher::addWatch(const std::string & strRel)
{
    const std::string strPath = strRel.empty() ? m_strSrc : m_strSrc + "/" + strRel;
    const int iWd = addNotification(m_iFd, strPath.c_str(), kEvents | IN_ONLYDIR | IN_DONT_FOLLOW);
    if (iWd < 0)
    {
        m_strError = strPath + " cannot be watched: " + std::strerror(errno);
        return false;
    }
    for (auto & w : m_vWatch)
        if (w.first == iWd)
        {
            w.second = strRel;
            return true;
        }
    m_vWatch.emplace_back(iWd, strRel);
    return true;
}

void qor_cWatcher::stop()
{
    if (m_pid > 0)
    {
        kill(m_pid, SIGTERM);
        int iStatus = 0;
        while (waitpid(m_pid, &iStatus, 0) < 0 && errno == EINTR)
        {
        }
        m_pid = 0;
    }
    if (m_iPipe >= 0)
        close(m_iPipe);
    m_iPipe = -1;
    if (m_iFd >= 0)
        close(m_iFd);
    m_iFd = -1;
    m_vWatch.clear();
    m_setPending.clear();
}

void qor_cWatcher::readEvents(double dNowSeconds)
{
    alignas(struct inotify_event) char acBuf[16384];
    for (;;)
    {
        const ssize_t n = read(m_iFd, acBuf, sizeof acBuf);
        if (n <= 0)
            return; // EAGAIN: nothing more queued
        for (ssize_t off = 0; off + ssize_t(sizeof(struct inotify_event)) <= n;)
        {
            const struct inotify_event * pEv = reinterpret_cast<const struct inotify_event *>(acBuf + off);
            off += ssize_t(sizeof(struct inotify_event) + pEv->len);
            if (pEv->mask & IN_Q_OVERFLOW)
            {
                // Events were lost: every file of the folders followed counts as changed.
                for (const auto & watch : m_vWatch)
                {
                    std::error_code ec;
                    for (const fs::directory_entry & e :
                         fs::directory_iterator(watch.second.empty() ? fs::path(m_strSrc) : fs::path(m_strSrc) / watch.second, ec))
                    {
                        const std::string strName = e.path().filename().string();
                        std::error_code ec2;
                        if (!isScratch(strName) && e.is_regular_file(ec2) && (!watch.second.empty() || strName == "show.ini"))
                            m_setPending.insert(watch.second.empty() ? strName : watch.second + "/" + strName);
                    }
                }
                m_dLastEvent = dNowSeconds;
                continue;
            }
            const auto w = std::find_if(m_vWatch.begin(), m_vWatch.end(),
                                        [&](const std::pair<int, std::string> & x) { return x.first == pEv->wd; });
            if (pEv->mask & IN_IGNORED)
            {
                if (w != m_vWatch.end())
                    m_vWatch.erase(w); // the folder went
                continue;
            }
            if (w == m_vWatch.end() || pEv->len == 0)
                continue;
            const std::string strName = pEv->name;
            if (isScratch(strName))
                continue;
            const std::string strFolder = w->second;
            const std::string strRel = strFolder.empty() ? strName : strFolder + "/" + strName;
            if (pEv->mask & IN_ISDIR)
            {
                // A folder that appears: one of SRC's, or one under maps/.
                const bool bKnown = strFolder.empty() ? std::any_of(std::begin(s_aszFolders), std::end(s_aszFolders),
                                                                    [&](cchar * sz) { return strName == sz; })
                                                      : strFolder.compare(0, 4, "maps") == 0;
                if (bKnown && (pEv->mask & (IN_CREATE | IN_MOVED_TO)))
                    addWatch(strRel);
                continue;
            }
            if (strFolder.empty() && strName != "show.ini")
                continue;
            m_setPending.insert(strRel);
            m_dLastEvent = dNowSeconds;
        }
    }
}

void qor_cWatcher::drainChild()
{
    // What the build has written so far (the pipe never blocks), kept up to kMaxChildOutput.
    char acBuf[4096];
    for (;;)
    {
        const ssize_t n = read(m_iPipe, acBuf, sizeof acBuf);
        if (n <= 0)
            break;
        if (m_strChildOut.size() < kMaxChildOutput)
            m_strChildOut.append(acBuf, size_t(n));
    }
}

bool qor_cWatcher::poll(double dNowSeconds)
{
    if (m_iFd < 0)
        return false;
    readEvents(dNowSeconds);
    if (m_pid > 0)
    {
        drainChild();
        int iStatus = 0;
        const pid_t pid = waitpid(m_pid, &iStatus, WNOHANG);
        if (pid == 0 || (pid < 0 && errno == EINTR))
            return false;
        // Ended: what it wrote last is in the pipe still.
        drainChild();
        m_pid = 0;
        close(m_iPipe);
        m_iPipe = -1;
        finishBuild(pid < 0 ? -1 : WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1);
        return true;
    }
    if (!m_setPending.empty() && dNowSeconds - m_dLastEvent >= kSettleSeconds)
    {
        if (!startBuild())
        {
            finishBuild(-1);
            return true;
        }
        if (m_pid == 0)
            return false; // nothing left to build
    }
    return false;
}

bool qor_cWatcher::startBuild()
{
    m_running = sBuild();
    // A name gone by now was an editor's temporary file (renamed onto the source) or a file
    // deleted: there is nothing of it to build (a deleted file's last build stays).
    for (const std::string & strSource : m_setPending)
    {
        struct stat st;
        if (stat((m_strSrc + "/" + strSource).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            m_running.vSources.push_back(strSource);
    }
    m_setPending.clear();
    if (m_running.vSources.empty())
        return true;
    for (const std::string & strSource : m_running.vSources)
    {
        bool bAll = false;
        const std::set<std::string> setOut = outputsOf(strSource, &bAll);
        m_running.setOutputs.insert(setOut.begin(), setOut.end());
        m_running.bAllScreens = m_running.bAllScreens || bAll;
        if (strSource.compare(0, 6, "music/") == 0)
            m_running.strMusic = strSource.substr(6);
    }
    m_strChildOut.clear();
    std::vector<std::string> vArgs = {m_strTool, m_strSrc, "-o", m_strOut};
    for (const std::string & strSource : m_running.vSources)
    {
        vArgs.push_back("--only");
        vArgs.push_back(strSource);
    }
    std::vector<char *> vArgv;
    for (std::string & str : vArgs)
        vArgv.push_back(str.data());
    vArgv.push_back(nullptr);
    int aFd[2];
    if (pipe2(aFd, O_CLOEXEC) != 0)
    {
        m_strChildOut = std::string("cannot make a pipe: ") + std::strerror(errno) + "\n";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, aFd[1], 1);
    posix_spawn_file_actions_adddup2(&actions, aFd[1], 2);
    pid_t pid = 0;
    const int iErr = posix_spawn(&pid, m_strTool.c_str(), &actions, nullptr, vArgv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(aFd[1]);
    if (iErr != 0)
    {
        close(aFd[0]);
        m_strChildOut = "cannot start " + m_strTool + ": " + std::strerror(iErr) + "\n";
        return false;
    }
    fcntl(aFd[0], F_SETFL, fcntl(aFd[0], F_GETFL) | O_NONBLOCK);
    m_iPipe = aFd[0];
    m_pid = pid;
    return true;
}

void qor_cWatcher::finishBuild(int iStatus)
{
    m_build = m_running;
    m_build.bOk = iStatus == 0;
    m_build.strMessages = m_strChildOut;
    if (iStatus != 0 && m_build.strMessages.find_first_not_of(" \n") == std::string::npos)
        m_build.strMessages = "qor-build-show failed (exit " + std::to_string(iStatus) + ")\n";
    m_strChildOut.clear();
}

std::set<std::string> qor_cWatcher::outputsOf(const std::string & strSource, bool * pbAll)
{
    std::set<std::string> setOut;
    *pbAll = false;
    const std::string strExt = extensionOf(strSource);
    const size_t slash = strSource.find('/');
    const std::string strFolder = slash == std::string::npos ? std::string() : strSource.substr(0, slash);
    const std::string strName = slash == std::string::npos ? strSource : strSource.substr(slash + 1);
    if (strSource == "show.ini")
        *pbAll = true; // [IMPORT] options re-import every model
    else if (strFolder == "scripts")
    {
        if (strExt == "sc")
            setOut.insert("scripts/exe/" + lower(stemOf(strName)) + ".o");
        else if (strExt == "inc")
            *pbAll = true; // any script may include it
    }
    else if (strFolder == "maps")
    {
        if (strName.find('/') != std::string::npos)
            setOut.insert(lower(strSource)); // a subfolder's file, copied as it is
        else if (strExt == "png")
        {
            setOut.insert("maps/" + lower(stemOf(strName)) + ".jpg");
            setOut.insert("maps/" + lower(stemOf(strName)) + "_a.jpg");
        }
        else if (strExt == "jpg" || strExt == "jpeg")
            setOut.insert("maps/" + lower(stemOf(strName)) + ".jpg");
    }
    else if (strFolder == "scenes")
        setOut.insert(lower(strSource));
    else if (strFolder == "models")
    {
        static const char * const s_aModel[] = {"gltf", "glb", "fbx", "obj", "dae", "3ds"};
        if (std::find(std::begin(s_aModel), std::end(s_aModel), strExt) != std::end(s_aModel))
        {
            setOut.insert("scenes/" + lower(stemOf(strName)) + ".s3d");
            setOut.insert("scenes/" + lower(stemOf(strName)) + ".s3d.mot");
        }
        else
            *pbAll = true; // a material or texture file some model refers to
    }
    else if (strFolder == "music")
        setOut.insert(lower(strName));
    return setOut;
}
