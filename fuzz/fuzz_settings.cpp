// libFuzzer driver: see FuzzEntry::SettingsFiles. A wrong result aborts, so libFuzzer keeps the input.
#include "fuzzentries.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString problem =
        FuzzEntry::SettingsFiles(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "fuzz_settings: %s\n", qPrintable(problem));
        std::abort();
    }
    return 0;
}
