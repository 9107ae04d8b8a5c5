// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace korvex::sim {

// A pseudo-terminal pair standing in for a serial cable. The master side is the
// regulator's end; the slave path is the port the program opens. The pair keeps a
// descriptor of the slave open itself, so that the program may close and reopen the
// port at will without the master seeing a hang-up.
class PtyPair {
public:
    PtyPair() = default;
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // False with a text on failure.
    bool Open(std::string* error);
    void Close();

    int master() const { return master_; }
    // Clears the tty's exclusive flag that the program set with its open. The pair's own
    // descriptor keeps the tty open, so the flag would otherwise outlive a program that
    // died without closing the port, and every later open would fail with EBUSY.
    void ReleaseExclusive();
    const std::string& slave_path() const { return slave_path_; }

private:
    int master_ = -1;
    int slave_keep_ = -1;
    std::string slave_path_;
};

}  // namespace korvex::sim
