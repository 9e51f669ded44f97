// libFuzzer driver: see FuzzEntry::ScpiLine. A wrong result aborts, so libFuzzer keeps the input.
#include "fuzzentries.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString problem =
        FuzzEntry::ScpiLine(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "fuzz_scpi: %s\n", qPrintable(problem));
        std::abort();
    }
    return 0;
}
