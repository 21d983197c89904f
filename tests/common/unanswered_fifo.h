#pragma once
// A named pipe that no process reads or writes: what the program must never wait on. Should the
// program block opening it all the same, the pipe's other end is opened after a generous bound, so
// that the open returns and the test fails instead of hanging.

#include <QFile>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace korvanetest
{

class UnansweredFifo
{
  public:
    explicit UnansweredFifo(const QString &path) : path_(QFile::encodeName(path))
    {
        made_ = ::mkfifo(path_.constData(), 0600) == 0;
        EXPECT_TRUE(made_) << "mkfifo " << path_.constData();
        watchdog_ = std::thread([this] { watch(); });
    }

    ~UnansweredFifo()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        watchdog_.join();
        if (readEnd_ >= 0)
            ::close(readEnd_);
    }

    UnansweredFifo(const UnansweredFifo &) = delete;
    UnansweredFifo &operator=(const UnansweredFifo &) = delete;

    // True when something blocked on the pipe long enough to be let go.
    bool blockedSomeone() const { return released_; }

  private:
    void watch()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!made_ || wake_.wait_for(lock, std::chrono::seconds(10), [this] { return done_; }))
            return;
        // A reader waiting in open() goes on once a writer comes (and reads the end of the pipe);
        // a writer waiting in open() goes on once a reader comes, which stays until the end so
        // that nothing it writes is lost to a closed pipe.
        readEnd_ = ::open(path_.constData(), O_RDONLY | O_NONBLOCK);
        const int writeEnd = ::open(path_.constData(), O_WRONLY | O_NONBLOCK);
        if (writeEnd >= 0)
            ::close(writeEnd);
        released_ = true;
    }

    QByteArray path_;
    bool made_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::atomic<bool> released_{false};
    int readEnd_ = -1;
    std::thread watchdog_;
};

} // namespace korvanetest
