// SPDX-License-Identifier: GPL-3.0-or-later
// A COMTRADE record: the input up to its first 0x00 byte is the .cfg, the rest the .dat,
// both written beside each other and read by the .cfg's name, on the side the input's
// last byte chooses. The reader must answer or refuse with a message; what it answers must
// be whole: a name and a unit per channel, a usable step, status channels of 0 and 1, and
// no more than 16 rows per byte of the .dat (the grid's bound and the size checks).
#include <fstream>

#include "FuzzSupport.h"
#include "files/ComtradeReader.h"
#include "files/RecordingData.h"

namespace {

void WriteFile(const std::string& path, const uint8_t* p, size_t n) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(p), std::streamsize(n));
}

}  // namespace

FUZZ_TARGET {
    static const std::string dir = [] {
        char name[] = "/tmp/korvex-comtrade-fuzz-XXXXXX";
        if (!mkdtemp(name)) std::abort();
        return std::string(name);
    }();
    const uint8_t* zero = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t cfg_size = zero ? size_t(zero - data) : size;
    const size_t dat_size = zero ? size - cfg_size - 1 : 0;
    WriteFile(dir + "/r.cfg", data, cfg_size);
    WriteFile(dir + "/r.dat", zero ? zero + 1 : data, dat_size);
    ComtradeOptions options;
    options.side = ComtradeOptions::Side(in.ConsumeIntegralInRange(0, 2));
    RecordingData d;
    std::string err;
    if (!ReadComtrade(dir + "/r.cfg", &d, &err, options)) {
        FUZZ_CHECK(!err.empty() && d.rows() == 0, "a refusal without a message");
        return;
    }
    const RecordingInfo& info = d.info();
    FUZZ_CHECK(d.channels() >= 1 && info.names.size() == size_t(d.channels()) &&
                   info.units.size() == size_t(d.channels()),
               "%d channels, %zu names, %zu units", d.channels(), info.names.size(),
               info.units.size());
    FUZZ_CHECK(d.step() > 0 && std::isfinite(d.step()), "step %g", d.step());
    FUZZ_CHECK(d.rows() <= 16 * dat_size, "%zu rows from %zu bytes", d.rows(), dat_size);
    FUZZ_CHECK(info.status_from == -1 || (info.status_from >= 0 && info.status_from < d.channels()),
               "status from %d", info.status_from);
    for (int c = info.status_from < 0 ? d.channels() : info.status_from; c < d.channels(); ++c)
        for (size_t r = 0; r < d.rows(); ++r)
            FUZZ_CHECK(d.value(c, r) == 0 || d.value(c, r) == 1, "status %d row %zu", c, r);
}
