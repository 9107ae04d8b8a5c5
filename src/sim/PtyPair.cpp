// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/PtyPair.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

namespace korvex::sim {

PtyPair::~PtyPair() {
    Close();
}

bool PtyPair::Open(std::string* error) {
    Close();
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        *error = std::string("pseudo-terminal: ") + std::strerror(errno);
        Close();
        return false;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        *error = std::string("ptsname: ") + std::strerror(errno);
        Close();
        return false;
    }
    slave_path_ = name;
    slave_keep_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_keep_ < 0) {
        *error = std::string("open ") + name + ": " + std::strerror(errno);
        Close();
        return false;
    }
    // Raw from the start, so that nothing the regulator sends is cooked before the
    // program has set its own framing.
    termios t{};
    if (tcgetattr(slave_keep_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(slave_keep_, TCSANOW, &t);
    }
    int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    return true;
}

void PtyPair::ReleaseExclusive() {
    if (slave_keep_ >= 0) (void)ioctl(slave_keep_, TIOCNXCL);
}

void PtyPair::Close() {
    if (slave_keep_ >= 0) close(slave_keep_);
    if (master_ >= 0) close(master_);
    slave_keep_ = master_ = -1;
    slave_path_.clear();
}

}  // namespace korvex::sim
