// A pseudo-terminal pair standing in for a serial line: the test plays the
// instrument on the master side; the slave side is the port under test.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace dravik_test {

struct PtyPair {
    int master = -1;
    int slave = -1;  // stays open here too, so its settings can be looked at
    std::string name;

    PtyPair() {
        char path[128] = {};
        EXPECT_EQ(openpty(&master, &slave, path, nullptr, nullptr), 0);
        name = path;
        // Programs the test starts must not hold the instrument's end open.
        fcntl(master, F_SETFD, FD_CLOEXEC);
        fcntl(slave, F_SETFD, FD_CLOEXEC);
    }
    ~PtyPair() {
        CloseMaster();
        if (slave >= 0) close(slave);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // The instrument goes away: the port hangs up.
    void CloseMaster() {
        if (master >= 0) close(master);
        master = -1;
    }
    void Send(const std::string& bytes) const {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
};

// Polls `done` until it holds or `limit` has passed.
inline bool WaitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace dravik_test
