// The author's source folder followed while the show plays (qor-player --watch SRC): the
// kernel's file notification (inotify) on SRC's show.ini and its scripts/, maps/ (with its
// subfolders), models/, scenes/ and music/ folders, read without blocking once a frame. An
// editor's save by rename, a burst of saves and a file deleted and written again all end as
// one change of that file, handed on once the folder has been quiet for kSettleSeconds. The
// changed files are then rebuilt into the player's folder by qor-build-show --only (the very
// steps of a whole build), in a child process the frame loop checks once a frame, so the show
// keeps playing while a model converts.
#pragma once

#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

class qor_cWatcher
{
  public:
    // Quiet time after the last event before the changes are built.
    static constexpr double kSettleSeconds = 0.1;

    // What a finished build made.
    struct sBuild
    {
        bool bOk = false;
        std::vector<std::string> vSources; // the changed files, relative to SRC
        std::set<std::string> setOutputs;  // files of the player's folder they make, lower case,
                                           // "/" separated ("scripts/exe/intro.o")
        bool bAllScreens = false;          // an include, a model's side file or show.ini changed
        std::string strMusic;              // a music file rebuilt (its name in the folder), or ""
        std::string strMessages;           // what the build said (its problems on failure)
    };

    qor_cWatcher();
    ~qor_cWatcher();
    qor_cWatcher(const qor_cWatcher &) = delete;
    qor_cWatcher & operator=(const qor_cWatcher &) = delete;

    // Watches the folder strSrc (absolute) and builds into strOut with the program strTool
    // (qor-build-show). False, the reason in getError(), when it cannot.
    bool start(const std::string & strSrc, const std::string & strOut, const std::string & strTool);
    void stop();
    bool isStarted() const { return m_iFd >= 0; }
    const std::string & getError() const { return m_strError; }

    // Once a frame: reads the events the kernel queued (never waits), starts a build of the
    // settled changes, and finishes a build whose child ended. True when a build finished:
    // getBuild() says what it made. dNowSeconds: any monotonic clock.
    bool poll(double dNowSeconds);
    const sBuild & getBuild() const { return m_build; }
    bool isBuilding() const { return m_pid > 0; }
    // Changes waiting to settle or to be built.
    bool hasPending() const { return !m_setPending.empty(); }

    // Which files of the player's folder a changed source file makes (the rules of
    // qor-build-show), lower case and "/" separated; *pbAll when every screen may use it.
    static std::set<std::string> outputsOf(const std::string & strSource, bool * pbAll);

  private:
    bool addWatch(const std::string & strRel);
    void readEvents(double dNowSeconds);
    void drainChild();
    bool startBuild();
    void finishBuild(int iStatus);

    int m_iFd;
    std::string m_strSrc, m_strOut, m_strTool, m_strError;
    std::vector<std::pair<int, std::string>> m_vWatch; // descriptor, folder relative to SRC ("" SRC)
    std::set<std::string> m_setPending;                // changed files relative to SRC
    double m_dLastEvent;
    pid_t m_pid; // the build running, 0 none
    int m_iPipe; // its standard output and error
    std::string m_strChildOut;
    sBuild m_running; // what the running build was asked for
    sBuild m_build;   // the last finished build
};
