// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "app/StopToken.h"
#include "files/FileAccess.h"

namespace korvex {

// A file an export writes: created as a hidden temporary beside its final name, filled
// through a large buffer, and given its name only when complete (Commit), so that a
// failed or cancelled export leaves nothing behind and a reader never sees half a file.
// An existing file of the final name is replaced only with `overwrite`; without it the
// export fails before writing ("'%s' already exists"), and a file that appears meanwhile
// is not replaced either. The file an export reads (`source`) is never replaced, under
// whatever name it is given: same device and inode, on Windows the same volume and file
// index (or, where those cannot be read, the same full path name).
//
// Messages, by the buffer rule: "'%s' already exists", "Create File '%s' error: error %d",
// "Write File '%s' error: error %d" (errno values), and "'%s' is the recording being
// exported: it is not replaced" (Russian too). Used by one thread.
class ExportFile {
public:
    ExportFile() = default;
    ~ExportFile();  // removes the temporary unless committed
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    bool Create(const std::string& path, bool overwrite, std::string* err_text,
                const std::string& source = std::string());
    void Write(std::string_view bytes) {
        if (buf_.size() + bytes.size() > kFlushAt) Flush();
        buf_.append(bytes);
    }
    // Writes what is buffered and gives the file its name; false with a message.
    bool Commit(std::string* err_text);
    // Removes the temporary.
    void Discard();

private:
    static constexpr size_t kFlushAt = 1 << 20;
    void Flush();
    std::string path_, temp_;
    bool overwrite_ = false;
    int fd_ = -1;
    int error_ = 0;  // first write error
    std::string buf_;
};

// What drives a long export from outside: `progress` gets whole percents as they change
// (on the exporting thread); a stop requested of `cancel` ends the export with
// "Cancelled" and leaves no file.
struct ExportControl {
    std::function<void(int percent)> progress;
    const StopToken* cancel = nullptr;
};

}  // namespace korvex
