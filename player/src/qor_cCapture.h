// Capture of the show's frames: numbered PNG files, or a video file encoded by the ffmpeg
// program, which reads raw frames on a pipe and muxes the music from the show's start
// position. A progress line on standard error tells how far it has come.
//
// Frames are written by a thread of their own: writeFrame copies the picture into a small
// bounded queue and returns, so that scaling, PNG encoding and the pipe to ffmpeg (whose
// encoder runs in its own process) go on while the next frame is drawn. A queue that is full
// makes writeFrame wait: the drawing never runs further ahead than a few frames. A writing
// error is kept and given by the next writeFrame, or by close.
#pragma once

#include "qor_types.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

class qor_cCapture
{
public:
    enum qor_eCaptureKind
    {
        qorrs_capture_none = 0, // not a name capture can write
        qorrs_capture_png = 1,  // a printf integer pattern: file k is frame k
        qorrs_capture_video = 2, // .mp4, .mkv, .webm or .mov
    };
    static qor_eCaptureKind kindOf(cchar * szOut);
    // File name of frame nFrame for a PNG pattern (empty when the pattern is not one).
    static std::string frameName(cchar * szPattern, int nFrame);

    qor_cCapture();
    ~qor_cCapture();
    qor_cCapture(const qor_cCapture &) = delete;
    qor_cCapture & operator=(const qor_cCapture &) = delete;

    // Starts a capture of frames of w x h pixels at dFps frames per second. A video muxes the
    // MP3 image pMusic (nMusic bytes; null for none) from dSeek seconds on. False with the
    // reason in getError().
    bool open(cchar * szOut, int w, int h, double dFps, const char * pMusic, uint nMusic, double dSeek);
    bool isOpen() const { return m_eKind != qorrs_capture_none; }
    bool isVideo() const { return m_eKind == qorrs_capture_video; }
    // The number of the first PNG file (0 unless set; later frames count up from it).
    void setFirstNumber(int nFirst) { m_nFirstNumber = nFirst; }
    // One frame from the display's readPixels layout (B, G, R, A, top row first); scaled, with
    // black bars keeping its 4:3 shape, when its size is not the capture's.
    bool writeFrame(const uint8_t * pBGRA, int w, int h);
    // Ends the capture: the video is finished by ffmpeg, whose exit status decides the result
    // (ffmpeg runs in a process group of its own: a Ctrl-C meant for the player never reaches
    // it, and the frames written so far always make a finished file).
    bool close();
    cchar * getError() const { return m_strError.c_str(); }
    // Frames handed to writeFrame (some may still be in the queue until close).
    int getFrameCount() const { return m_nFrame; }

    // The progress line (frame, show time, frames per second, time left), rewritten in place at
    // most a few times a second; bFinal writes it once more and ends the line. nFramesLeft: the
    // frames still to come, -1 when unknown.
    void showProgress(double dShowSeconds, int nFramesLeft, bool bFinal);

private:
    // One frame waiting in the queue.
    struct sFrame
    {
        std::vector<uint8_t> pixels;
        int w = 0, h = 0;
    };
    static constexpr size_t kQueueFrames = 3;

    bool fail(const std::string & strWhy);
    // The writer thread's loop, and the writing of one frame there (false with the reason in
    // m_strWriterError).
    void writerLoop();
    bool writeOne(const sFrame & frame);
    void stopWriter();
    bool startFfmpeg(cchar * szOut, double dFps, const char * pMusic, uint nMusic, double dSeek);
    // Waits for ffmpeg; "" when it exited with 0, else how it ended.
    std::string waitFfmpeg();

    qor_eCaptureKind m_eKind;
    std::string m_strOut;
    int m_iWidth, m_iHeight;
    int m_nFrame;
    int m_nFirstNumber;
    std::string m_strError;
    std::vector<uint8_t> m_scaled; // the writer's
    // The queue between the frame loop and the writer.
    std::thread m_writer;
    std::mutex m_mutex;
    std::condition_variable m_cvQueued, m_cvTaken;
    std::deque<sFrame> m_queue;
    std::vector<sFrame> m_spare; // buffers back from the writer, ready for reuse
    bool m_bStopWriter = false;
    bool m_bWriterFailed = false;   // set once by the writer, which then writes nothing more
    bool m_bWriterReported = false; // its error already returned by writeFrame
    std::string m_strWriterError;
    int m_nWritten = 0; // frames the writer has written
    // Video.
    pid_t m_pid;
    int m_fdPipe;
    int m_fdMusic; // the music for ffmpeg: a temporary file already removed, read by descriptor
    void (*m_pfnOldSigPipe)(int);
    // Progress.
    double m_dStart;
    double m_dLastShown;
};
